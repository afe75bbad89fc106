// The decision logic of one update run: which parts are out of date, their download, their swap,
// and what installed.json remembers afterwards.
#include "updates/update_run.h"

#include <winsock2.h>
#include <windows.h>
#include <string.h>

#include "core/codecs.h"
#include "core/text.h"
#include "updates/apply.h"
#include "updates/download.h"
#include "updates/file_digest.h"
#include "updates/part_kinds.h"
#include "updates/staging.h"
#include "updates/state_files.h"
#include "updates/update_protocol.h"

static const ManifestFile* first_file(const UpdateManifest* manifest, int kind) {
    return &manifest->files[manifest->parts[kind].first_file];
}

// Whether the launcher may replace the DLL in the game folder; sets dll_hex to its digest (empty
// when it is missing or unreadable).
static bool dll_is_managed(const UpdatePaths* paths, const UpdateManifest* manifest, const InstalledState* state,
                           char* dll_hex) {
    dll_hex[0] = 0;
    if (!is_file(paths->dll_path)) return true;
    uint8_t digest[64];
    uint64_t size = 0;
    if (!sha512_file(paths->dll_path, digest, &size)) return false;
    hex_encode(digest, 64, dll_hex);
    if (state->dll_sha512[0] && strcmp(dll_hex, state->dll_sha512) == 0) return true;
    // The DLL on probation was installed by the launcher: a run killed after its swap but before
    // installed.json was saved leaves it recorded only in boot.json.
    BootState boot;
    if (boot_state_load(paths, &boot) && is_digest_hex(boot.pending_sha512)) {
        digest_hex_lower(boot.pending_sha512);
        if (strcmp(dll_hex, boot.pending_sha512) == 0) return true;
    }
    // The signed release's own DLL is ours too: a start killed between placing it and saving
    // installed.json leaves it in place but not yet recorded.
    if (manifest->parts[PART_DLL].present && memcmp(first_file(manifest, PART_DLL)->sha512, digest, 64) == 0) {
        return true;
    }
    for (uint32_t i = 0; i < manifest->known_dll_count; i++) {
        if (memcmp(manifest->known_dlls[i], digest, 64) == 0) return true;
    }
    return false;
}

// Part by part against the manifest: whether the DLL in the game folder is ours to replace, which
// parts are out of date (newer) and which wait complete in staging already (staged).
static void decide_parts(const UpdatePaths* paths, const UpdateManifest* manifest, InstalledState* state,
                         UpdateResult* result) {
    char dll_hex[DIGEST_HEX_CAP];
    state->dll_managed = dll_is_managed(paths, manifest, state, dll_hex);
    if (manifest->parts[PART_DLL].present) {
        char offered[DIGEST_HEX_CAP];
        hex_encode(first_file(manifest, PART_DLL)->sha512, 64, offered);
        if (!state->dll_managed) {
            result->dll_not_ours = true;
        } else if (state->bad_dll_sha512[0] && strcmp(offered, state->bad_dll_sha512) == 0) {
            append_format(result->message, sizeof result->message,
                          "DLL version %u failed to start before - not installed again; ",
                          (unsigned)manifest->parts[PART_DLL].version);
        } else if (strcmp(dll_hex, offered) == 0) {
            // Also its digest: a run killed after the swap did not get to record it.
            state->version[PART_DLL] = manifest->parts[PART_DLL].version;
            copy_text(state->dll_sha512, sizeof state->dll_sha512, offered);
        } else {
            result->newer |= PART_BIT(PART_DLL);
        }
    }
    if (manifest->parts[PART_LAUNCHER].present) {
        uint8_t digest[64];
        uint64_t size = 0;
        if (sha512_file(paths->launcher_path, digest, &size) &&
            memcmp(digest, first_file(manifest, PART_LAUNCHER)->sha512, 64) == 0) {
            state->version[PART_LAUNCHER] = manifest->parts[PART_LAUNCHER].version;
        } else if (state->staged_version[PART_LAUNCHER] == manifest->parts[PART_LAUNCHER].version &&
                   verify_staged_part(paths, manifest, PART_LAUNCHER, nullptr, 0)) {
            // It waits whole in staging to take this launcher's place once it has closed.
            result->staged |= PART_BIT(PART_LAUNCHER);
        } else {
            result->newer |= PART_BIT(PART_LAUNCHER);
        }
    }
    if (!state->bots_wanted) return;
    for (int kind = PART_BOTS; kind <= PART_RUNTIME; kind++) {
        const ManifestPart* part = &manifest->parts[kind];
        if (!part->present) continue;
        if (state->staged_version[kind] == part->version && verify_staged_part(paths, manifest, kind, nullptr, 0)) {
            result->staged |= PART_BIT(kind);
        } else if (!part_looks_installed(paths, manifest, kind, state)) {
            result->newer |= PART_BIT(kind);
        }
    }
}

// Stores manifest as the installed one (whose bots files a later release compares against). A run
// that cannot store it has not finished, as when installed.json cannot be written: installed_release
// stays behind, and the next run that finds these parts in place stores it again.
static void record_installed_manifest(const UpdatePaths* paths, const UpdateManifest* manifest, InstalledState* state,
                                      UpdateResult* result) {
    if (stored_manifest_save(paths, INSTALLED_MANIFEST_FILE, manifest)) {
        state->installed_release = manifest->release;
        return;
    }
    append_format(result->message, sizeof result->message, "cannot write %s (error %lu); ", INSTALLED_MANIFEST_FILE,
                  (unsigned long)GetLastError());
    result->record_failed = true;
}

// The installed manifest lags behind when a run swapped the bots or the runtime in but could not
// store it: the manifest's bots and runtime are in place while installed_release names another.
static bool installed_manifest_behind(const UpdatePaths* paths, const UpdateManifest* manifest,
                                      const InstalledState* state) {
    if (!state->bots_wanted || state->installed_release == manifest->release) return false;
    bool any = false;
    for (int kind = PART_BOTS; kind <= PART_RUNTIME; kind++) {
        if (!manifest->parts[kind].present) continue;
        if (!part_looks_installed(paths, manifest, kind, state)) return false;
        any = true;
    }
    return any;
}

// Swaps in the parts that were downloaded; a part that cannot be swapped now waits in staging for
// the next start, and the installed and staged manifests are saved for what changed.
static void swap_parts(const UpdatePaths* paths, const UpdateManifest* manifest, InstalledState* state,
                       UpdateResult* result) {
    UpdateManifest old_manifest = {};
    bool have_old = stored_manifest_load(paths, INSTALLED_MANIFEST_FILE, &old_manifest, nullptr, 0);
    bool installed_changed = false, waiting = false;
    // The bots and the runtime take several moves each. They are recorded as waiting before the
    // first move, with this manifest as the staged one, so that a start after a kill among those
    // moves finishes the swap (apply_waiting_parts) before anything else.
    // Without that record (a full disk) they are not begun: they stay staged for a later start.
    unsigned several_moves = result->newer & (PART_BIT(PART_BOTS) | PART_BIT(PART_RUNTIME));
    bool recorded = true;
    if (several_moves) {
        recorded = stored_manifest_save(paths, STAGED_MANIFEST_FILE, manifest);
        if (recorded) {
            for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
                if (several_moves & PART_BIT(kind)) state->staged_version[kind] = manifest->parts[kind].version;
            }
            state->staged_release = manifest->release;
            recorded = installed_state_save(paths, state);
        }
    }
    for (int kind = 0; kind < PART_KIND_COUNT; kind++) {
        if (!(result->newer & PART_BIT(kind))) continue;
        uint32_t version = manifest->parts[kind].version;
        char reason[APPLY_ERROR_CAP];
        bool swapped = false;
        if (!recorded && (several_moves & PART_BIT(kind))) {
            copy_text(reason, sizeof reason, "its swap could not be recorded in the update folder");
        } else {
            swapped = swap_part_in(paths, manifest, have_old ? &old_manifest : nullptr, kind, state,
                                   &installed_changed, reason, sizeof reason);
        }
        if (swapped) {
            result->applied |= PART_BIT(kind);
            if (kind == PART_DLL) state->dll_managed = true;
        } else {
            append_format(result->message, sizeof result->message, "%s waits for the next start (%s); ",
                          part_kind_name(kind), reason);
            result->staged |= PART_BIT(kind);
            state->staged_version[kind] = version;
            waiting = true;
        }
    }
    if (installed_changed) record_installed_manifest(paths, manifest, state, result);
    if (waiting && stored_manifest_save(paths, STAGED_MANIFEST_FILE, manifest)) {
        state->staged_release = manifest->release;
    }
    if (!any_part_waiting(state)) state->staged_release = 0;
    manifest_clear(&old_manifest);
}

bool run_update(const UpdatePaths* paths, const UpdateRequest* request, UpdateProgress* progress,
                UpdateResult* result) {
    InstalledState state;
    installed_state_load(paths, &state);
    copy_text(state.channel, sizeof state.channel, request->channel);

    UpdateConnection connection;
    if (!update_connect(request->host, request->port, &connection, result->message, sizeof result->message,
                        &progress->stop)) {
        result->stopped = progress->stop != 0;
        return false;
    }
    update_send_token(&connection, request->token);
    UpdateManifest manifest = {};
    if (!update_fetch_manifest(&connection, request->channel, state.highest_release_seen, &manifest, result->message,
                               sizeof result->message, &progress->stop)) {
        result->stopped = progress->stop != 0;
        update_bye(&connection);
        return false;
    }
    result->release = manifest.release;
    if (manifest.release > state.highest_release_seen) state.highest_release_seen = manifest.release;

    decide_parts(paths, &manifest, &state, result);
    bool ok = true;
    if (result->newer == 0) {
        update_bye(&connection);
    } else {
        ok = download_parts(&connection, paths, &manifest, result->newer, progress, result->message, sizeof result->message);
        update_bye(&connection);
        if (!ok) {
            result->stopped = progress->stop != 0;
        } else {
            swap_parts(paths, &manifest, &state, result);
        }
    }
    if (ok && installed_manifest_behind(paths, &manifest, &state)) {
        record_installed_manifest(paths, &manifest, &state, result);
    }
    if (result->record_failed) ok = false;
    // What this run changed is only known to the next one through installed.json: a run that cannot
    // record it (a full disk) has not finished.
    if (!installed_state_save(paths, &state) && ok) {
        append_format(result->message, sizeof result->message, "cannot write %s (error %lu)", INSTALLED_STATE_FILE,
                      (unsigned long)GetLastError());
        ok = false;
    }
    manifest_clear(&manifest);
    return ok;
}
