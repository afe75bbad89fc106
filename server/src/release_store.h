// Verified releases: a release folder (manifest.txt and files/<sha512 hex>) checked as a launcher
// checks it, then held as a record that connections share. Every listed file stays open in the
// record, so a connection that fetched a manifest can fetch its files for as long as it holds the
// record, whatever happens to the folder meanwhile.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#define RELEASE_FOLDER_CAP 512
#define RELEASE_CHANNEL_CAP 32
#define RELEASE_CHANNELS_MAX 16

struct ServedFile {
    uint8_t digest[64];
    uint64_t size;
    int fd;
};

struct Release {
    std::atomic<int> holders;
    char folder[RELEASE_FOLDER_CAP];
    char channel[RELEASE_CHANNEL_CAP];
    uint64_t number;
    char* manifest;  // the signed manifest, byte for byte, as it is served
    size_t manifest_length;
    ServedFile* files;  // sorted by digest, each digest once
    uint32_t file_count;
    uint64_t total_bytes;
};

// Reads and checks the release in folder: the manifest's signature with a release key, its channel
// (when expected_channel is not empty), a release number not below min_number, and every listed file
// present in files/ with its size and SHA-512. On success *out holds a record with one holder. On
// failure the reason names the first problem.
bool release_open(const char* folder, const char* expected_channel, uint64_t min_number, Release** out,
                  char* error, size_t error_size);
// True when both records serve the same manifest from the same files on disk (a reload that found
// nothing new keeps the record already served, and with it the descriptors already open).
bool release_same(const Release* a, const Release* b);
void release_hold(Release* release);
// Drops one holder; the last one closes the files and frees the record.
void release_drop(Release* release);
const ServedFile* release_find_file(const Release* release, const uint8_t digest[64]);

// What the server serves at one moment: one release per channel. Connections hold a set while they
// use it; a reload makes a new set and replaces the current one.
struct ReleaseSet {
    std::atomic<int> holders;
    int count;
    Release* releases[RELEASE_CHANNELS_MAX];  // null where a channel has no release yet
};

ReleaseSet* release_set_new();
void release_set_drop(ReleaseSet* set);
const Release* release_set_channel(const ReleaseSet* set, const char* channel, size_t length);
// The file with this digest in any release of the set.
const ServedFile* release_set_file(const ReleaseSet* set, const uint8_t digest[64]);

// The set being served now, with one more holder for the caller (never null).
ReleaseSet* served_set_hold();
// Makes fresh (whose holder the call takes over) the set being served and drops the previous one.
void served_set_replace(ReleaseSet* fresh);
