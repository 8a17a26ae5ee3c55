"""The account secret formats, made from their descriptions with Python `cryptography` alone:

  derived key K   PBKDF2-HMAC-SHA256(password UTF-8, salt text bytes (never decoded), rounds, 32)
  login token     base64(HMAC-SHA256(K, salt text bytes))
  token hash      nonce "-" base64(HMAC-SHA256(raw token, nonce text + URN)); nonce: base64 of 16 bytes
  "V5-"/"V6-"     "V5-" base64(IV) "-" base64(AES-CBC(K) without padding), "V6-" with PKCS #7 padding
  "V2-" password  "V2-" base64(salt, 32 bytes) "-" rounds "-" base64(AES-256-CBC, key PBKDF2-HMAC-SHA256
                  (password, raw salt, rounds, 32), IV the salt's first 16 bytes, PKCS #7 padding)
  SID locator     a 32-byte seed as a "V5-" text under K; the SID hash is "V2-" + base64(HMAC-SHA256(K,
                  seed)) with every "/" written ","
  RSA texts       "V2-" + base64 of RSAES-OAEP (SHA-1, MGF1-SHA-1, no label) of the text's bytes
  master form     RSA text of a session key (base64 of 32 bytes) "|" "V4-" base64(AES-256-CBC under the
                  session key, IV its first 16 bytes, PKCS #7 padding)
"""

import base64
import hashlib
import hmac
import os

from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def b64(data: bytes) -> str:
    return base64.b64encode(data).decode("ascii")


def urnsafe(text: str) -> str:
    return text.replace("/", ",")


def new_salt() -> str:
    return b64(os.urandom(16))


def derived_key(password: str, salt: str, rounds: int) -> bytes:
    return hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), salt.encode("utf-8"), rounds, 32)


def login_token(password: str, salt: str, rounds: int) -> str:
    return b64(hmac.new(derived_key(password, salt, rounds), salt.encode("utf-8"), hashlib.sha256).digest())


def token_hash(token: str, urn: str, nonce: str) -> str:
    mac = hmac.new(base64.b64decode(token), (nonce + urn).encode("utf-8"), hashlib.sha256).digest()
    return nonce + "-" + b64(mac)


def token_hash_valid(token: str, urn: str, text: str) -> bool:
    nonce, dash, _ = text.partition("-")
    return bool(dash) and len(nonce) == 24 and hmac.compare_digest(token_hash(token, urn, nonce), text)


def _cbc(key: bytes, iv: bytes, data: bytes, encrypt: bool, pad: bool) -> bytes:
    cipher = Cipher(algorithms.AES(key), modes.CBC(iv))
    if encrypt:
        if pad:
            padder = sympadding.PKCS7(128).padder()
            data = padder.update(data) + padder.finalize()
        worker = cipher.encryptor()
        return worker.update(data) + worker.finalize()
    worker = cipher.decryptor()
    plain = worker.update(data) + worker.finalize()
    if pad:
        unpadder = sympadding.PKCS7(128).unpadder()
        plain = unpadder.update(plain) + unpadder.finalize()
    return plain


def aes_text(key: bytes, plaintext: bytes, pad: bool) -> str:
    iv = os.urandom(16)
    return ("V6-" if pad else "V5-") + b64(iv) + "-" + b64(_cbc(key, iv, plaintext, True, pad))


def open_aes_text(key: bytes, text: str) -> bytes:
    tag, iv, body = text.split("-")
    return _cbc(key, base64.b64decode(iv), base64.b64decode(body), False, tag == "V6")


def password_text(password: str, plaintext: bytes, rounds: int = 50000) -> str:
    salt = os.urandom(32)
    key = hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), salt, rounds, 32)
    return "V2-%s-%d-%s" % (b64(salt), rounds, b64(_cbc(key, salt[:16], plaintext, True, True)))


def sid_hash(key: bytes, seed: bytes) -> str:
    return "V2-" + urnsafe(b64(hmac.new(key, seed, hashlib.sha256).digest()))


def private_key_der(private_key) -> bytes:
    return private_key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                                     serialization.NoEncryption())


def _oaep():
    return padding.OAEP(mgf=padding.MGF1(hashes.SHA1()), algorithm=hashes.SHA1(), label=None)


def rsa_text(public_key, text: str) -> str:
    return "V2-" + b64(public_key.encrypt(text.encode("utf-8"), _oaep()))


def open_rsa_text(private_key, text: str) -> str:
    tag, _, body = text.partition("-")
    if tag != "V2":
        raise ValueError("not a V2 RSA text")
    return private_key.decrypt(base64.b64decode(body), _oaep()).decode("utf-8")


def open_master_form(private_key, text: str) -> str:
    wrapped_key, bar, aes = text.partition("|")
    tag, _, body = aes.partition("-")
    if not bar or tag != "V4":
        raise ValueError("not a master form")
    key = base64.b64decode(open_rsa_text(private_key, wrapped_key))
    return _cbc(key, key[:16], base64.b64decode(body), False, True).decode("utf-8")


def master_form(public_key, plaintext: bytes) -> str:
    session = os.urandom(32)
    return rsa_text(public_key, b64(session)) + "|V4-" + b64(_cbc(session, session[:16], plaintext, True, True))
