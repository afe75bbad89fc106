// The two lookups on the web site: the newest launcher version and the number of players online.
// Both are best-effort: a failure leaves a log line, or a count of -1.
#pragma once

#include <stddef.h>

// Fills buffer with at most size-1 bytes of the page body (empty when there was no answer).
// Blocking: worker threads only.
void fetch_url(const char* url, char* buffer, size_t size);

// The newest launcher version when it is newer than this one; empty otherwise. Written by the
// update worker before it sets update_done; read by the window only after that.
extern char newest_launcher_version[32];
// Looks the version up on the web site; run on the update worker thread.
void look_up_newest_launcher();

// The last players-online count read, or -1; written with an interlocked exchange.
long players_online_count();
// Starts one fetch of the count on its own thread, unless one is running. When it ends it posts
// WM_PLAYERS_ONLINE to launcher.window.
void start_players_fetch();
