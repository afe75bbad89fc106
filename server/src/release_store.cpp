// Checking a release folder as a launcher would, and the shared records of the releases served.
#include "release_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "core/codecs.h"
#include "core/text.h"
#include "updates/manifest.h"
#include "updates/sha512_stream.h"

#define HASH_BLOCK 262144

static bool read_manifest(const char* folder, char** text, size_t* length, char* error, size_t error_size) {
    char path[RELEASE_FOLDER_CAP + 32];
    format_text(path, sizeof path, "%s/manifest.txt", folder);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        format_reason(error, error_size, "cannot read %s (%s)", path, strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > (off_t)MANIFEST_MAX_BYTES) {
        close(fd);
        format_reason(error, error_size, "%s is not a file of 1 byte to 1 MiB", path);
        return false;
    }
    char* data = (char*)malloc((size_t)st.st_size);
    size_t got = 0;
    while (data && got < (size_t)st.st_size) {
        ssize_t n = read(fd, data + got, (size_t)st.st_size - got);
        if (n <= 0) break;
        got += (size_t)n;
    }
    close(fd);
    if (!data || got != (size_t)st.st_size) {
        free(data);
        format_reason(error, error_size, "cannot read %s whole", path);
        return false;
    }
    *text = data;
    *length = got;
    return true;
}

static int compare_served(const void* a, const void* b) {
    return memcmp(((const ServedFile*)a)->digest, ((const ServedFile*)b)->digest, 64);
}

// Opens files/<hex> of one manifest entry and checks its size and SHA-512 through the descriptor
// that will serve it, so that what was checked is what goes out.
static bool check_file(const char* folder, const ManifestFile* entry, uint8_t* block, int* fd_out, char* error,
                       size_t error_size) {
    char hex[129];
    hex_encode(entry->sha512, 64, hex);
    char path[RELEASE_FOLDER_CAP + 160];
    format_text(path, sizeof path, "%s/files/%s", folder, hex);
    const char* kind = part_kind_name(entry->kind);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        format_reason(error, error_size, "%s/%s is missing from files/ (%.16s..., %s)", kind, entry->path, hex,
                      strerror(errno));
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        format_reason(error, error_size, "files/%.16s... (%s/%s) is not a plain file", hex, kind, entry->path);
        return false;
    }
    if ((uint64_t)st.st_size != entry->size) {
        close(fd);
        format_reason(error, error_size, "%s/%s in files/ is %llu bytes, the manifest says %llu", kind,
                      entry->path, (unsigned long long)st.st_size, (unsigned long long)entry->size);
        return false;
    }
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Sha512Stream stream;
    sha512_start(&stream);
    uint64_t at = 0;
    while (at < entry->size) {
        ssize_t n = pread(fd, block, HASH_BLOCK, (off_t)at);
        if (n <= 0) break;
        sha512_add(&stream, block, (size_t)n);
        at += (uint64_t)n;
    }
    uint8_t digest[64];
    sha512_finish(&stream, digest);
    if (at != entry->size || memcmp(digest, entry->sha512, 64) != 0) {
        close(fd);
        format_reason(error, error_size, "%s/%s in files/ does not have the SHA-512 the manifest lists", kind,
                      entry->path);
        return false;
    }
    *fd_out = fd;
    return true;
}

static void release_free(Release* release) {
    for (uint32_t i = 0; i < release->file_count; i++) {
        if (release->files[i].fd >= 0) close(release->files[i].fd);
    }
    free(release->files);
    free(release->manifest);
    delete release;
}

bool release_open(const char* folder, const char* expected_channel, uint64_t min_number, Release** out,
                  char* error, size_t error_size) {
    *out = nullptr;
    char* text = nullptr;
    size_t length = 0;
    if (!read_manifest(folder, &text, &length, error, error_size)) return false;
    UpdateManifest manifest = {};
    char reason[300];
    if (!manifest_parse(text, length, &manifest, reason, sizeof reason)) {
        free(text);
        format_reason(error, error_size, "manifest.txt: %s", reason);
        return false;
    }
    if (expected_channel && expected_channel[0] && strcmp(manifest.channel, expected_channel) != 0) {
        format_reason(error, error_size, "the manifest is for channel %s, not %s", manifest.channel,
                      expected_channel);
        manifest_clear(&manifest);
        free(text);
        return false;
    }
    if (manifest.release < min_number) {
        format_reason(error, error_size,
                      "release %llu is older than release %llu already served for channel %s (launchers refuse it)",
                      (unsigned long long)manifest.release, (unsigned long long)min_number, manifest.channel);
        manifest_clear(&manifest);
        free(text);
        return false;
    }

    Release* release = new Release();
    release->holders.store(1);
    copy_text(release->folder, sizeof release->folder, folder);
    copy_text(release->channel, sizeof release->channel, manifest.channel);
    release->number = manifest.release;
    release->manifest = text;
    release->manifest_length = length;
    release->files = (ServedFile*)calloc(manifest.file_count ? manifest.file_count : 1, sizeof(ServedFile));
    uint8_t* block = (uint8_t*)malloc(HASH_BLOCK);
    bool ok = release->files && block;
    if (!ok) format_reason(error, error_size, "out of memory");
    for (uint32_t i = 0; ok && i < manifest.file_count; i++) {
        const ManifestFile* entry = &manifest.files[i];
        bool seen = false;  // the same content listed twice is served from one descriptor
        for (uint32_t j = 0; j < release->file_count && !seen; j++) {
            seen = memcmp(release->files[j].digest, entry->sha512, 64) == 0;
        }
        if (seen) continue;
        int fd = -1;
        if (!check_file(folder, entry, block, &fd, error, error_size)) {
            ok = false;
            break;
        }
        ServedFile* served = &release->files[release->file_count++];
        memcpy(served->digest, entry->sha512, 64);
        served->size = entry->size;
        served->fd = fd;
        release->total_bytes += entry->size;
    }
    free(block);
    manifest_clear(&manifest);
    if (!ok) {
        release_free(release);
        return false;
    }
    qsort(release->files, release->file_count, sizeof(ServedFile), compare_served);
    *out = release;
    return true;
}

bool release_same(const Release* a, const Release* b) {
    if (a->manifest_length != b->manifest_length || a->file_count != b->file_count) return false;
    if (memcmp(a->manifest, b->manifest, a->manifest_length) != 0) return false;
    for (uint32_t i = 0; i < a->file_count; i++) {
        struct stat sa, sb;
        if (fstat(a->files[i].fd, &sa) != 0 || fstat(b->files[i].fd, &sb) != 0) return false;
        if (sa.st_dev != sb.st_dev || sa.st_ino != sb.st_ino) return false;
    }
    return true;
}

void release_hold(Release* release) {
    release->holders.fetch_add(1, std::memory_order_relaxed);
}

void release_drop(Release* release) {
    if (release && release->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) release_free(release);
}

const ServedFile* release_find_file(const Release* release, const uint8_t digest[64]) {
    ServedFile key;
    memcpy(key.digest, digest, 64);
    return (const ServedFile*)bsearch(&key, release->files, release->file_count, sizeof(ServedFile),
                                      compare_served);
}

ReleaseSet* release_set_new() {
    ReleaseSet* set = new ReleaseSet();
    set->holders.store(1);
    set->count = 0;
    for (int i = 0; i < RELEASE_CHANNELS_MAX; i++) set->releases[i] = nullptr;
    return set;
}

void release_set_drop(ReleaseSet* set) {
    if (!set || set->holders.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    for (int i = 0; i < set->count; i++) release_drop(set->releases[i]);
    delete set;
}

const Release* release_set_channel(const ReleaseSet* set, const char* channel, size_t length) {
    for (int i = 0; i < set->count; i++) {
        const Release* r = set->releases[i];
        if (r && strlen(r->channel) == length && memcmp(r->channel, channel, length) == 0) return r;
    }
    return nullptr;
}

const ServedFile* release_set_file(const ReleaseSet* set, const uint8_t digest[64]) {
    for (int i = 0; i < set->count; i++) {
        if (!set->releases[i]) continue;
        const ServedFile* f = release_find_file(set->releases[i], digest);
        if (f) return f;
    }
    return nullptr;
}

static std::mutex served_lock;
static ReleaseSet* served_set;

ReleaseSet* served_set_hold() {
    std::lock_guard<std::mutex> guard(served_lock);
    if (!served_set) served_set = release_set_new();
    served_set->holders.fetch_add(1, std::memory_order_relaxed);
    return served_set;
}

void served_set_replace(ReleaseSet* fresh) {
    ReleaseSet* old;
    {
        std::lock_guard<std::mutex> guard(served_lock);
        old = served_set;
        served_set = fresh;
    }
    release_set_drop(old);
}
