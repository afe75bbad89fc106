// The launcher log: lines of several threads logging at once never mix, each line is time-stamped and
// ends in CR LF, a line end inside a text does not start a line, and a text too long for a line is
// cut with its line end kept.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "support/test_support.h"

namespace {

const int THREADS = 6;
const int LINES = 300;
const size_t PADDING = 180;

struct Writer {
    int number;
    HANDLE go;
};

DWORD WINAPI write_lines(void* parameter) {
    const Writer* writer = (const Writer*)parameter;
    std::string padding(PADDING, (char)('a' + writer->number));
    WaitForSingleObject(writer->go, INFINITE);
    for (int i = 0; i < LINES; i++) log_line("thread %d line %04d %s|", writer->number, i, padding.c_str());
    return 0;
}

// Starts THREADS writers at once, runs meanwhile (when given) on this thread, and waits for them.
bool write_on_all_threads(void (*meanwhile)()) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Writer writers[THREADS];
    HANDLE threads[THREADS];
    int started = 0;
    for (; started < THREADS; started++) {
        writers[started] = {started, go};
        threads[started] = CreateThread(nullptr, 0, write_lines, &writers[started], 0, nullptr);
        if (!threads[started]) break;
    }
    SetEvent(go);
    if (meanwhile) meanwhile();
    WaitForMultipleObjects(started, threads, TRUE, INFINITE);
    for (int t = 0; t < started; t++) CloseHandle(threads[t]);
    CloseHandle(go);
    return started == THREADS;
}

// "YYYY-MM-DD hh:mm:ss " with digits where digits belong.
bool has_time_stamp(const std::string& line) {
    const char shape[] = "dddd-dd-dd dd:dd:dd ";
    if (line.size() < sizeof shape - 1) return false;
    for (size_t i = 0; i < sizeof shape - 1; i++) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
    }
    return true;
}

struct LogFile : testing::Test {
    void SetUp() override {
        folder = make_temp_folder("log");
        ASSERT_FALSE(folder.empty());
        path = folder + "\\launcher.log";
        ASSERT_TRUE(log_open(path.c_str()));
    }
    void TearDown() override {
        log_close();
        remove_tree(folder);
    }
    // The log's lines, each without its CR LF; a last piece without a line end is kept as it is.
    std::vector<std::string> lines() {
        std::string text = file_text(path);
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            out.push_back(text.substr(start, end - start));
        }
        if (start < text.size()) out.push_back(text.substr(start) + "<no line end>");
        return out;
    }
    std::string folder, path;
};

}  // namespace

TEST_F(LogFile, LinesOfSeveralThreadsNeverMix) {
    ASSERT_TRUE(write_on_all_threads(nullptr));

    int next[THREADS] = {};
    int bad = 0;
    std::vector<std::string> all = lines();
    for (const std::string& line : all) {
        int number = -1, index = -1;
        char padding[PADDING + 2] = "";
        bool whole = has_time_stamp(line) && line.size() == 20 + 19 + PADDING + 1 &&
                     sscanf(line.c_str() + 20, "thread %d line %d %181[a-z|]", &number, &index, padding) == 3 &&
                     number >= 0 && number < THREADS && std::string(padding) ==
                     std::string(PADDING, (char)('a' + number)) + "|";
        if (!whole || index != next[number]) {
            if (bad++ < 3) ADD_FAILURE() << "mixed or out of order: " << line;
            continue;
        }
        next[number]++;
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(all.size(), (size_t)(THREADS * LINES));
    for (int t = 0; t < THREADS; t++) EXPECT_EQ(next[t], LINES) << "thread " << t;
}

TEST_F(LogFile, OneCallMakesOneTimeStampedLine) {
    log_line("launcher closed");
    std::string long_text(LOG_LINE_CAP + 100, 'L');
    log_line("%s", long_text.c_str());
    log_line("after %d", 2);
    log_line("%s", "a server's text\r\n2026-01-01 00:00:00 with a line of its own\n");
    log_close();
    log_line("not written: the log is closed");

    std::vector<std::string> all = lines();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(has_time_stamp(all[0])) << all[0];
    EXPECT_EQ(all[0].substr(20), "launcher closed");
    EXPECT_TRUE(has_time_stamp(all[1]));
    EXPECT_EQ(all[1].size(), (size_t)LOG_LINE_CAP - 3) << "the buffer less its zero byte and CR LF";
    EXPECT_EQ(all[1].find_first_not_of('L', 20), std::string::npos);
    EXPECT_EQ(all[2].substr(20), "after 2");
    EXPECT_EQ(all[3].substr(20), "a server's text  2026-01-01 00:00:00 with a line of its own ");
}

// Threads that go on logging while the log is closed (a worker that outlived its wait) write
// nothing after the close, and never into a closed stream; every line before it is whole.
TEST_F(LogFile, LoggingWhileTheLogClosesIsSafe) {
    ASSERT_TRUE(write_on_all_threads([] {
        Sleep(20);
        log_close();
    }));
    const std::string closed_size = std::to_string(file_text(path).size());
    log_line("after the close");
    EXPECT_EQ(std::to_string(file_text(path).size()), closed_size);
    for (const std::string& line : lines()) {
        ASSERT_TRUE(has_time_stamp(line) && line.back() == '|') << line;
    }
}
