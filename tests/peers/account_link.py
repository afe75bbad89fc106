"""The server side of the account secure link, for the reference account server, with the ways it can
be told to misbehave. Independent of the launcher's code: PyNaCl (libsodium) and hashlib only."""

import base64
import hashlib
import os

import nacl.bindings
import nacl.signing

# The group order of Ed25519: a signature scalar S at or above it must be refused.
GROUP_ORDER = 2**252 + 27742317777372353535851937790883648493

# Behaviours of one connection. Those ending in ":" take a value after the colon.
BEHAVIOURS = [
    "ok",                    # a correct exchange
    "no_hello",              # close after the client hello
    "no_answer",             # close after the request
    "bad_signature",         # one bit of the hello signature flipped
    "keyid:",                # the key id field as given (the test key still signs)
    "upper_hex",             # server key and nonce in upper-case hex
    "hello_len:",            # the signature padded with "=" so the hello has this many characters
    "std_base64",            # the signature in standard base64 with "+" or "/" and "=" padding
    "seventh_field",         # a seventh field after the signature
    "empty_fifth",           # an empty server value (signed as sent)
    "zero_key",              # an all-zero server public key (the shared secret is zero)
    "big_s",                 # the group order added to the signature's S
    "cr",                    # CR bytes inside the hello and the answer lines
    "answer_garbage",        # an answer line that is not a BOX line
    "answer_bad_base64",     # a BOX line with a character outside base64
    "answer_bad_tag",        # a box with one byte changed
    "answer_wrong_counter",  # the answer sealed with counter 1
    "answer_short",          # a box shorter than its tag
    "answer_cut",            # half of the answer line, then the connection closes
    "slow:",                 # a correct exchange whose answer comes this many milliseconds late
]


def known_behaviour(name):
    for b in BEHAVIOURS:
        if (b.endswith(":") and name.startswith(b) and len(name) > len(b)) or name == b:
            return True
    return False


def load_signing_key(path):
    with open(path) as f:
        lines = [l.strip() for l in f if l.strip() and not l.startswith("#")]
    return nacl.signing.SigningKey(bytes.fromhex(lines[0]))


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=")


def b64url_decode(text):
    return base64.urlsafe_b64decode(text + b"=" * (-len(text) % 4))


def nonce_of(counter):
    return bytes(16) + counter.to_bytes(8, "big")


def with_cr(line):
    """CR bytes at the start, in the middle and before the end of a line."""
    middle = len(line) // 2
    return b"\r" + line[:middle] + b"\r\r" + line[middle:] + b"\r"


class ServerSession:
    def __init__(self, signing_key, client_public, client_nonce):
        self.signing_key = signing_key
        self.client_public = client_public
        self.client_nonce = client_nonce
        self.keys = None
        self.behaviour = "ok"

    def hello_line(self, behaviour):
        """The server hello with its LF; derives the keys (when the server key is not zero)."""
        self.behaviour = behaviour
        while True:
            secret = os.urandom(32)
            public = bytes(32) if behaviour == "zero_key" else nacl.bindings.crypto_scalarmult_base(secret)
            nonce = os.urandom(16)
            key_id = behaviour[len("keyid:"):] if behaviour.startswith("keyid:") else "1"
            value = "" if behaviour == "empty_fifth" else str(int.from_bytes(os.urandom(7), "big"))
            public_hex, nonce_hex = public.hex(), nonce.hex()
            if behaviour == "upper_hex":
                public_hex, nonce_hex = public_hex.upper(), nonce_hex.upper()
            signed = "\t".join(["SECURE1OK", key_id, public_hex, nonce_hex, value]).encode()
            message = (b"TOLVEN-LINK-1\n" + self.client_public.hex().encode() + b"\t" +
                       self.client_nonce.hex().encode() + b"\t" + signed)
            signature = bytearray(self.signing_key.sign(message).signature)
            if behaviour == "std_base64":
                text = base64.b64encode(bytes(signature))
                if b"+" not in text and b"/" not in text:
                    continue
            elif behaviour == "big_s":
                s = int.from_bytes(signature[32:], "little") + GROUP_ORDER
                signature[32:] = s.to_bytes(32, "little")
                text = b64url(bytes(signature))
            else:
                if behaviour == "bad_signature":
                    signature[10] ^= 0x01
                text = b64url(bytes(signature))
            break
        line = signed + b"\t" + text
        if behaviour.startswith("hello_len:"):
            line += b"=" * (int(behaviour[len("hello_len:"):]) - len(line))
        if behaviour == "seventh_field":
            line += b"\textra"
        if behaviour == "cr":
            line = with_cr(line)
        if behaviour != "zero_key":
            shared = nacl.bindings.crypto_scalarmult(secret, self.client_public)
            digest = hashlib.sha512(b"TOLVEN-LINK-KEYS-1\n" + shared + self.client_public + public +
                                    self.client_nonce + nonce).digest()
            # The client's send key is the server's receive key.
            self.keys = (digest[32:], digest[:32])
        return line + b"\n"

    def open_request(self, line):
        """The opened request (bytes), or None when the line is not a valid BOX line."""
        if not line.startswith(b"BOX\t"):
            return None
        try:
            box = b64url_decode(line[4:])
            return nacl.bindings.crypto_secretbox_open(box, nonce_of(0), self.keys[1])
        except Exception:
            return None

    def answer_line(self, behaviour, answer):
        counter = 1 if behaviour == "answer_wrong_counter" else 0
        box = bytearray(nacl.bindings.crypto_secretbox(answer, nonce_of(counter), self.keys[0]))
        if behaviour == "answer_bad_tag":
            box[3] ^= 0x40
        if behaviour == "answer_short":
            box = box[:15]
        line = b"BOX\t" + b64url(bytes(box))
        if behaviour == "answer_garbage":
            line = b"HELLO\tWORLD"
        elif behaviour == "answer_bad_base64":
            line = b"BOX\t" + line[4:20] + b"*" + line[21:]
        elif behaviour == "answer_cut":
            return line[:len(line) // 2]
        elif behaviour == "cr":
            line = with_cr(line)
        return line + b"\n"
