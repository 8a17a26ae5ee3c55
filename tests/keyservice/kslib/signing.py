"""Every signature and key text the service makes: its RSA key, the "V2-" text forms, PSS signatures
over the compact signed JSON form. Other modules sign only through this one."""

import base64
import json

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa

TAG = "V2"
PSS_SALT_LENGTH = 64


def b64(data: bytes) -> str:
    return base64.b64encode(data).decode("ascii")


def canonical_json(value) -> str:
    """The compact signed form: members sorted by name, no white space, non-ASCII escaped, DEL raw."""
    text = json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=True)
    return text.replace("\\u007f", "\x7f")


def _pss():
    return padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=PSS_SALT_LENGTH)


def public_key_text(public_key) -> str:
    """"V2-" and base64 of the DER PKCS #1 RSAPublicKey."""
    der = public_key.public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    return TAG + "-" + b64(der)


def load_public_key_text(text: str):
    """Reads a "V2-" public key text (DER PKCS #1 RSAPublicKey)."""
    tag, _, body = text.partition("-")
    if tag != TAG or not body:
        raise ValueError("not a V2 public key text")
    return serialization.load_der_public_key(base64.b64decode(body))


def sign_text(private_key, text: str) -> str:
    """RSASSA-PSS, SHA-512, MGF1-SHA-512, 64-byte salt, over the text's UTF-8 bytes: "V2-" + base64."""
    return TAG + "-" + b64(private_key.sign(text.encode("utf-8"), _pss(), hashes.SHA512()))


def verify_text(public_key_v2: str, text: str, signature: str) -> bool:
    parts = signature.split("-")
    if len(parts) != 2 or parts[0] != TAG:
        return False
    try:
        load_public_key_text(public_key_v2).verify(
            base64.b64decode(parts[1]), text.encode("utf-8"), _pss(), hashes.SHA512())
        return True
    except (InvalidSignature, ValueError):
        return False


def sign_document(private_key, document: dict) -> dict:
    """The document with "signature" over the compact form of its other members."""
    unsigned = {k: v for k, v in document.items() if k != "signature"}
    signed = dict(unsigned)
    signed["signature"] = sign_text(private_key, canonical_json(unsigned))
    return signed


class ServiceKey:
    """The service's own RSA-2048 key pair (exponent 65537), made at start."""

    def __init__(self):
        self.private_key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
        self.public_text = public_key_text(self.private_key.public_key())

    def sign(self, text: str) -> str:
        return sign_text(self.private_key, text)

    def sign_document(self, document: dict) -> dict:
        return sign_document(self.private_key, document)
