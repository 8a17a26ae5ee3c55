#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets into corpus/<target>/: real forms of each input, the
AES and RSA ones made with Python `cryptography` or taken from tests/vectors/crypto_vectors.json.
Run it again after changing an input format; fuzzing adds to copies in the build tree, not here."""

import base64
import hashlib
import json
import os
import shutil

from cryptography.hazmat.primitives import hashes, padding as sympadding, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
VECTORS = json.load(open(os.path.join(HERE, "..", "vectors", "crypto_vectors.json")))
PART = b"\x1f"
REPLY = b"\x1e"


def b64(data):
    return base64.b64encode(data).decode()


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for index, seed in enumerate(seeds):
        with open(os.path.join(folder, "seed-%02d" % index), "wb") as f:
            f.write(seed.encode() if isinstance(seed, str) else seed)


def v2_text(plaintext, password, rounds):
    """A "V2-" password text: PBKDF2-HMAC-SHA256 key, IV the first 16 bytes of the 32-byte salt."""
    salt = os.urandom(32)
    key = hashlib.pbkdf2_hmac("sha256", password, salt, rounds, 32)
    padder = sympadding.PKCS7(128).padder()
    data = padder.update(plaintext) + padder.finalize()
    encryptor = Cipher(algorithms.AES(key), modes.CBC(salt[:16])).encryptor()
    return "V2-%s-%d-%s" % (b64(salt), rounds, b64(encryptor.update(data) + encryptor.finalize()))


def json_seeds():
    return [
        '{"a":1,"b":[true,false,null],"c":{"d":"e"}}',
        '[1,-2,3.5,1e300,-0,18446744073709551615,9223372036854775807,-9223372036854775808]',
        '{"text":"\\u00e9\\ud83d\\ude00\\n\\"","empty":"","nested":[[[{}]]]}',
        '"just a text"',
        '// a comment\n{"x": /* inside */ 2}',
        '{"dup":1,"dup":2}',
        '{"ctag":"c1","members":[{"url":"https://a/","dc":"x"}]}',
    ]


def aes_seeds():
    seeds = []
    for entry in VECTORS["v6"][:4] + VECTORS["v5"][:3]:
        seeds.append(bytes([1]) + entry["key"].encode() + PART + entry["text"].encode())
        seeds.append(bytes([0]) + base64.b64decode(entry["key"]) + PART + entry["text"].encode())
    for entry in VECTORS["v4"][:3]:
        seeds.append(bytes([2]) + entry["key"].encode() + PART + entry["text"].encode())
    for entry in VECTORS["v3"][:2]:
        seeds.append(bytes([6]) + entry["key"].encode() + PART + entry["text"].encode())
    password = b"correct horse"
    seeds.append(bytes([3]) + password + PART + v2_text(b"private key bytes", password, 1000).encode())
    seeds.append(bytes([4]) + password + PART + v2_text(os.urandom(32), password, 20).encode())
    seeds.append(bytes([5]) + password + PART + v2_text(b"", password, 1).encode())
    seeds.append(bytes([7]) + password + PART + b"V9-upgrade-me")
    return seeds


def rsa_seeds():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    public_der = key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.PKCS1)
    private_der = key.private_bytes(serialization.Encoding.DER, serialization.PrivateFormat.TraditionalOpenSSL,
                                    serialization.NoEncryption())
    public_text = "V2-" + b64(public_der)
    signature = key.sign(b"signed text", padding.PSS(mgf=padding.MGF1(hashes.SHA512()), salt_length=64),
                         hashes.SHA512())
    return [
        bytes([0]) + public_text.encode(),
        bytes([1]) + public_text.encode(),
        bytes([2]) + public_der,
        bytes([3]) + private_der,
        bytes([3]) + base64.b64decode(VECTORS["rsa_other_sizes"][0]["private"]),
        bytes([4]) + b"signed text" + PART + ("V2-" + b64(signature)).encode(),
        bytes([4]) + VECTORS["pss"][0].get("text", "").encode() + PART + VECTORS["pss"][0]["signature"].encode(),
        bytes([5]) + b"signed text" + PART + ("V2-" + b64(signature)).encode() + PART + public_text.encode(),
        bytes([6]) + VECTORS["oaep"][0]["ciphertext"].encode(),
    ]


def record_seeds():
    own = "urn:vx:user/own"
    bodies = [
        '[{"etag":5,"gtag":0,"ltag":0,"ctag":"c1","id":7}]',
        '{"id":"V2-loc","record":{"prikey":"V6-x","version":"V3","shash":"V2-loc","revision":1}}',
        '{"email":"e","other":[1],"urn":"u"}',
        '[{"id":4,"name":"Reader","platform_type":"Linux","upgrade_info":"none","version":"2.1","signature":"V2-s"}]',
        '{"deviceid":42,"id":8,"signature":"V2-s","record":{"device":"LIN-1","owner":"%s","name":"Reader",'
        '"version":"1.0","capabilities":["b","a"],"revision":1}}' % own,
        '[{"kind":2,"owning_team_id":7,"homeServer":"h","homeId":11,"id":12,"signature":"V2-s",'
        '"record":{"urn":"urn:vx:asset/1","revision":1}}]',
        '{"team_id":7,"id":3,"signature":"V2-s","record":{"participant":"%s","ca":"urn:ca","userstatus":"allow",'
        '"revision":1}}' % own,
        '[{"team_id":7,"kind":"ClientPolicy","name":"n","value":"{}","id":2}]',
        '{"remoteDirty":true,"originator":"x","verified":false,"id":1,"created_at":"c","updated_at":"u"}',
        '[]',
    ]
    # The first byte chooses the class; spread the bodies over the classes.
    return [bytes([(index * 7) % 32]) + body.encode() for index, body in enumerate(bodies)]


def reply(status, body, header="", error=""):
    return PART.join([str(status).encode(), header.encode(), body.encode(), error.encode()])


def reply_seeds():
    cluster = '{"ctag":"c1","members":[{"url":"https://fuzz.test/api/","dc":"a","master":true}]}'
    refusal = '{"Message":"%s","reason":"%s"}'
    runs = [
        (1, [reply(200, '{"ok":true}')]),
        (1, [reply(200, '[1,2]', header='{"ts":1}')]),
        (1, [reply(404, refusal % ("Not found", "Not Found"))]),
        (1, [reply(403, refusal % ("Needs MFA", "MFA Required"))]),
        (1, [reply(403, '{"Message":"m","reason":"Upgrade","url":"https://up/"}')]),
        (1, [reply(403, '{"Message":"m","reason":"Migration Required","email":"a@b.c"}')]),
        (1, [reply(403, refusal % ("Disabled", "Account Disabled"))]),
        (1, [reply(403, refusal % ("Device", "Device Disabled"))]),
        (1, [reply(403, refusal % ("Who", "Incorrect Credentials"))]),
        (1, [reply(401, "{}"), reply(200, '{"challenge":"c","loginRounds":10}'), reply(200, '{"ok":1}')]),
        (0, [reply(200, cluster), reply(200, '{"ok":1}')]),
        (0, [reply(200, '{"ctag":"c1","members":[]}'), reply(503, "", error="")]),
        (2, [reply(500, "<html>down</html>"), reply(0, "", error="Could not connect")]),
        (5, [reply(498, "{}"), reply(200, "{}")]),
        (1, [reply(200, "")]),
    ]
    return [bytes([mode]) + REPLY.join(replies) for mode, replies in runs]


if __name__ == "__main__":
    write("json_readers", json_seeds())
    write("aes_texts", aes_seeds())
    write("rsa_readers", rsa_seeds())
    write("record_decode", record_seeds())
    write("reply_rules", reply_seeds())
