#!/usr/bin/python3
"""Helpers of scripts/release: the files folder of a signed release, the launcher's own version, and
the summary printed at the end.

  publish.py files --manifest FILE --release-folder DIR --out DIR
      copies every file the manifest lists from the release folder into DIR, named by its SHA-512 in
      lower-case hex (the name under which the update server serves it), checking each digest
  publish.py exe-version FILE
      prints the file version of a Windows program's version resource (major.minor.build)
  publish.py summary --out-dir DIR --subject TEXT --timestamp URL|-
      prints the summary of the release in DIR (ZANDOR Launcher.exe, manifest.txt, files/, release/)
"""
import argparse
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from sign_manifest import sha512_of  # noqa: E402  (the signer's own file digest)

class PublishError(Exception):
    pass


def read_manifest(path):
    """The manifest's header values, its parts in order and its file lines."""
    header, parts, files = {}, [], []
    with open(path, "rb") as f:
        text = f.read().decode("ascii")
    for line in text.split("\n"):
        fields = line.split("\t")
        if fields[0] in ("channel", "release", "issued_utc_ms") and len(fields) == 2:
            header[fields[0]] = fields[1]
        elif fields[0] == "part" and len(fields) == 4:
            parts.append({"kind": fields[1], "version": fields[2], "flag": fields[3], "files": 0, "bytes": 0})
        elif fields[0] == "file" and len(fields) == 5:
            kind, relative, size, digest = fields[1], fields[2], int(fields[3]), fields[4].lower()
            files.append((kind, relative, size, digest))
            for part in parts:
                if part["kind"] == kind:
                    part["files"] += 1
                    part["bytes"] += size
        elif fields[0] == "signature" and len(fields) == 3:
            header["key"] = fields[1]
    return header, parts, files


def command_files(args):
    _, _, files = read_manifest(args.manifest)
    os.makedirs(args.out, exist_ok=True)
    for kind, relative, size, digest in files:
        source = os.path.join(args.release_folder, kind, *relative.split("/"))
        target = os.path.join(args.out, digest)
        if os.path.exists(target):
            continue  # the same content under two paths is served once
        if os.path.getsize(source) != size or sha512_of(source) != digest:
            raise PublishError(f"{kind}/{relative} changed after the manifest was signed")
        shutil.copyfile(source, target)


def exe_version(path):
    """major.minor.build from the fixed part of the version resource, or None."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find("VS_VERSION_INFO".encode("utf-16-le"))
    if at < 0:
        return None
    fixed = data.find(b"\xbd\x04\xef\xfe", at, at + 64)
    if fixed < 0:
        return None
    _, _, ms, ls = struct.unpack_from("<IIII", data, fixed)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"


def command_exe_version(args):
    version = exe_version(args.exe)
    if version is None:
        raise PublishError(f"{args.exe} has no version resource")
    print(version)


def size_text(count):
    if count < 1024:
        return f"{count} bytes"
    if count < 1024 * 1024:
        return f"{count / 1024:.1f} KiB"
    return f"{count / (1024 * 1024):.1f} MiB"


def command_summary(args):
    out = args.out_dir
    manifest = os.path.join(out, "manifest.txt")
    header, parts, files = read_manifest(manifest)
    served = sorted(os.listdir(os.path.join(out, "files")))
    served_bytes = sum(os.path.getsize(os.path.join(out, "files", name)) for name in served)
    print(f"release {header.get('release')} on channel {header.get('channel')}, "
          f"signed with release key {header.get('key')} ({os.path.getsize(manifest)} bytes of manifest)")
    for part in parts:
        noun = "file" if part["files"] == 1 else "files"
        print(f"  {part['kind']:<9} version {part['version']:<7} {part['flag']:<9} "
              f"{part['files']} {noun}, {size_text(part['bytes'])}")
    exe = os.path.join(out, "ZANDOR Launcher.exe")
    stamp = "time-stamped by " + args.timestamp if args.timestamp != "-" else "no time stamp"
    print(f"  signed    ZANDOR Launcher.exe {exe_version(exe)}, Authenticode SHA-256, {stamp}")
    print(f"            subject: {args.subject}")
    print(f"            SHA-512: {sha512_of(exe)}")
    if not any(part["kind"] == "launcher" for part in parts):
        print("            (release.txt names no launcher part: the signed exe is not in this release)")
    print(f"{out}: ZANDOR Launcher.exe, manifest.txt, files/ ({len(served)} files, {size_text(served_bytes)}), "
          "release/")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    c = commands.add_parser("files")
    c.add_argument("--manifest", required=True)
    c.add_argument("--release-folder", required=True)
    c.add_argument("--out", required=True)
    c = commands.add_parser("exe-version")
    c.add_argument("exe")
    c = commands.add_parser("summary")
    c.add_argument("--out-dir", required=True)
    c.add_argument("--subject", required=True)
    c.add_argument("--timestamp", default="-")
    args = parser.parse_args(argv)
    try:
        {"files": command_files, "exe-version": command_exe_version, "summary": command_summary}[args.command](args)
    except (PublishError, OSError, ValueError) as problem:
        print(f"release: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
