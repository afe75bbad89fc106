#!/usr/bin/python3
"""Makes release key pairs and writes signed update manifests for the ZANDOR Launcher.

Run with Debian's /usr/bin/python3 (it needs python3-nacl). See tools/README.md.
"""
import argparse
import base64
import hashlib
import os
import re
import sys
import time

import nacl.exceptions
import nacl.signing

MAGIC = "ZANDOR-UPDATE-MANIFEST"
SIGNED_PREFIX = b"ZANDOR-UPDATE-MANIFEST-1\n"
KINDS = ["dll", "bots", "runtime", "launcher"]
MAX_BYTES = 1048576
MAX_FILES = 4000
MAX_KNOWN_DLLS = 512
MAX_FILE_SIZE = 314572800
MAX_DECIMAL = 18446744073709551609
CHANNEL_RE = re.compile(r"^[a-z][a-z0-9_]{0,30}$")
PATH_CHARS_RE = re.compile(r"^[A-Za-z0-9._ +\-/]{1,150}$")
HEX128_RE = re.compile(r"^[0-9a-fA-F]{128}$")
# The part of a name before its first dot (spaces before the dot left out) that Windows opens as a
# device instead of a file, in any letter case.
DEVICE_NAME_RE = re.compile(r"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *$", re.IGNORECASE)


class ReleaseError(Exception):
    pass


# ---- key files -------------------------------------------------------------------------------

def read_key_file(path):
    """A secret key file holds 'key_id N' and 'seed <64 hex>' lines."""
    values = {}
    with open(path, "r", encoding="ascii") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                values[parts[0]] = parts[1]
    try:
        key_id = int(values["key_id"])
        seed = bytes.fromhex(values["seed"])
    except (KeyError, ValueError):
        raise ReleaseError(f"{path} is not a release key file")
    if not 1 <= key_id <= 255 or len(seed) != 32:
        raise ReleaseError(f"{path} is not a release key file")
    return key_id, nacl.signing.SigningKey(seed)


def key_entry(key_id, signing_key):
    return f"{key_id}:{signing_key.verify_key.encode().hex()}"


def command_keygen(args):
    if not 1 <= args.id <= 255:
        raise ReleaseError("a key id is 1 to 255")
    if os.path.exists(args.out):
        raise ReleaseError(f"{args.out} exists; not overwritten")
    signing_key = nacl.signing.SigningKey.generate()
    fd = os.open(args.out, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "w", encoding="ascii") as f:
        f.write(f"key_id {args.id}\nseed {signing_key.encode().hex()}\n")
    print(key_entry(args.id, signing_key))


def command_public(args):
    key_id, signing_key = read_key_file(args.key)
    print(key_entry(key_id, signing_key))


# ---- release folder --------------------------------------------------------------------------

def decimal(text, what):
    if not re.fullmatch(r"[0-9]+", text) or int(text) > MAX_DECIMAL:
        raise ReleaseError(f"{what} must be a decimal number, not '{text}'")
    return int(text)


def check_path(path):
    if not PATH_CHARS_RE.fullmatch(path):
        raise ReleaseError(f"'{path}': paths use A-Z a-z 0-9 . _ space + - and at most 150 characters")
    for segment in path.split("/"):
        if segment == "" or segment.startswith(" ") or segment.endswith(" ") or segment.endswith("."):
            raise ReleaseError(f"'{path}': a name may not be empty, start with a space or end with a space or dot")
        if DEVICE_NAME_RE.fullmatch(segment.split(".", 1)[0]):
            raise ReleaseError(f"'{path}': '{segment}' is a Windows device name (CON, PRN, AUX, NUL, COM1-COM9, "
                               "LPT1-LPT9, with or without an extension), which no file may be called")


def sha512_of(path):
    digest = hashlib.sha512()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def part_files(folder, kind):
    """The files of one part folder as (relative path with '/', full path), sorted by path."""
    found = []
    for root, dirs, names in os.walk(folder):
        dirs.sort()
        for name in names:
            full = os.path.join(root, name)
            relative = os.path.relpath(full, folder).replace(os.sep, "/")
            found.append((relative, full))
    found.sort()
    if not found:
        raise ReleaseError(f"the {kind} part has no files in {folder}")
    seen = {}
    for relative, _ in found:
        check_path(relative)
        lowered = relative.lower()
        if lowered in seen:
            raise ReleaseError(f"'{relative}' and '{seen[lowered]}' differ only in letter case")
        seen[lowered] = relative
    paths = [relative for relative, _ in found]
    if kind == "dll" and (len(paths) != 1 or paths[0].lower() != "d3d8.dll"):
        raise ReleaseError("the dll part must hold exactly d3d8.dll")
    if kind == "bots" and any("/" in p or not p.lower().endswith(".jar") for p in paths):
        raise ReleaseError("the bots part holds only .jar files")
    if kind == "launcher" and paths != ["ZANDOR Launcher.exe"]:
        raise ReleaseError("the launcher part must hold exactly 'ZANDOR Launcher.exe'")
    return found


def read_release(folder):
    """Reads release.txt of a release folder; gives the manifest body lines (without signature)."""
    description = os.path.join(folder, "release.txt")
    channel = release = None
    issued = int(time.time() * 1000)
    parts = []
    known = []
    with open(description, "r", encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            words = raw.split()
            if not words or words[0].startswith("#"):
                continue
            key, values = words[0], words[1:]
            where = f"release.txt line {number}"
            if key == "channel" and len(values) == 1:
                if not CHANNEL_RE.fullmatch(values[0]):
                    raise ReleaseError(f"{where}: a channel is a-z then up to 30 of a-z 0-9 _")
                channel = values[0]
            elif key == "release" and len(values) == 1:
                release = decimal(values[0], where)
                if release < 1:
                    raise ReleaseError(f"{where}: the release is at least 1")
            elif key == "issued_utc_ms" and len(values) == 1:
                issued = decimal(values[0], where)
            elif key == "part" and len(values) == 3:
                kind, version, flag = values
                if kind not in KINDS or any(p[0] == kind for p in parts):
                    raise ReleaseError(f"{where}: unknown or repeated part '{kind}'")
                version = decimal(version, where)
                if not 1 <= version <= 999999:
                    raise ReleaseError(f"{where}: a version is 1 to 999999")
                if flag not in ("required", "optional"):
                    raise ReleaseError(f"{where}: say 'required' or 'optional'")
                parts.append((kind, version, flag))
            elif key == "known_dll" and len(values) == 1:
                if not HEX128_RE.fullmatch(values[0]):
                    raise ReleaseError(f"{where}: a known_dll digest is 128 hex characters")
                known.append(values[0].lower())
            elif key == "known_dll_file" and len(values) == 1:
                known.append(sha512_of(os.path.join(folder, values[0])))
            else:
                raise ReleaseError(f"{where}: not understood: {raw.strip()}")
    if channel is None or release is None:
        raise ReleaseError("release.txt must give 'channel' and 'release'")
    if len(known) > MAX_KNOWN_DLLS:
        raise ReleaseError(f"at most {MAX_KNOWN_DLLS} known_dll digests")

    lines = [f"{MAGIC}\t1", f"channel\t{channel}", f"release\t{release}", f"issued_utc_ms\t{issued}"]
    file_count = 0
    for kind, version, flag in sorted(parts, key=lambda p: KINDS.index(p[0])):
        lines.append(f"part\t{kind}\t{version}\t{flag}")
        for relative, full in part_files(os.path.join(folder, kind), kind):
            size = os.path.getsize(full)
            if size > MAX_FILE_SIZE:
                raise ReleaseError(f"{kind}/{relative} is larger than {MAX_FILE_SIZE} bytes")
            lines.append(f"file\t{kind}\t{relative}\t{size}\t{sha512_of(full)}")
            file_count += 1
    if file_count > MAX_FILES:
        raise ReleaseError(f"{file_count} files; a manifest holds at most {MAX_FILES}")
    lines.extend(f"known_dll\t{digest}" for digest in known)
    return lines


# ---- signing ---------------------------------------------------------------------------------

def sign_body(body, key_id, signing_key):
    """The whole manifest: the body (ending in LF) and its signature line."""
    signature = signing_key.sign(SIGNED_PREFIX + body).signature
    encoded = base64.urlsafe_b64encode(signature).rstrip(b"=")
    return body + b"signature\t" + str(key_id).encode() + b"\t" + encoded + b"\n"


def command_sign(args):
    key_id, signing_key = read_key_file(args.key)
    lines = read_release(args.release_folder)
    body = ("\n".join(lines) + "\n").encode("ascii")
    manifest = sign_body(body, key_id, signing_key)
    if len(manifest) > MAX_BYTES:
        raise ReleaseError(f"the manifest has {len(manifest)} bytes; at most {MAX_BYTES}")
    with open(args.out, "wb") as f:
        f.write(manifest)
    print(f"{args.out}: {len(manifest)} bytes, {len(lines)} lines, signed with key {key_id}")


def command_verify(args):
    with open(args.manifest, "rb") as f:
        text = f.read()
    at = text.rfind(b"\nsignature\t")
    if at < 0:
        raise ReleaseError("no signature line")
    body, line = text[: at + 1], text[at + 1 :].rstrip(b"\r\n")
    fields = line.split(b"\t")
    if len(fields) != 3:
        raise ReleaseError("bad signature line")
    entries = dict(entry.split(":", 1) for entry in args.public.split(","))
    key_hex = entries.get(fields[1].decode("ascii", "replace"))
    if key_hex is None:
        raise ReleaseError(f"signed with key {fields[1].decode('ascii', 'replace')}, not among the keys given")
    encoded = fields[2].replace(b"+", b"-").replace(b"/", b"_").rstrip(b"=")
    try:
        signature = base64.urlsafe_b64decode(encoded + b"=" * (-len(encoded) % 4))
        nacl.signing.VerifyKey(bytes.fromhex(key_hex)).verify(SIGNED_PREFIX + body, signature)
    except (ValueError, nacl.exceptions.CryptoError):
        raise ReleaseError("the signature does not check out")
    print(f"{args.manifest}: signature checks out (key {fields[1].decode()})")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    keygen = commands.add_parser("keygen", help="make a new release key pair")
    keygen.add_argument("--id", type=int, required=True, help="key id, 1 to 255")
    keygen.add_argument("--out", required=True, help="secret key file to create")
    public = commands.add_parser("public", help="print the public key entry of a secret key file")
    public.add_argument("--key", required=True)
    sign = commands.add_parser("sign", help="write the signed manifest of a release folder")
    sign.add_argument("--key", required=True, help="secret key file")
    sign.add_argument("--release-folder", required=True)
    sign.add_argument("--out", required=True, help="manifest file to write")
    verify = commands.add_parser("verify", help="check a manifest's signature")
    verify.add_argument("--public", required=True, help="id:64-hex[,id:64-hex...]")
    verify.add_argument("manifest")
    args = parser.parse_args(argv)
    try:
        {"keygen": command_keygen, "public": command_public, "sign": command_sign,
         "verify": command_verify}[args.command](args)
    except (ReleaseError, OSError) as problem:
        print(f"sign_manifest: {problem}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
