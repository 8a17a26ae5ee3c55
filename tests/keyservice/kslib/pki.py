"""The test certificate authorities made at start: one the clients trust (written as the CA file) and
one nobody trusts, each with a server certificate for 127.0.0.1 and localhost."""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID


def _name(common_name):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Vorlane Test"),
                      x509.NameAttribute(NameOID.COMMON_NAME, common_name)])


def _validity(builder):
    now = datetime.datetime.now(datetime.timezone.utc)
    return builder.not_valid_before(now - datetime.timedelta(days=1)).not_valid_after(
        now + datetime.timedelta(days=30))


class Authority:
    def __init__(self, common_name):
        self.key = ec.generate_private_key(ec.SECP256R1())
        subject = _name(common_name)
        builder = x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
        builder = _validity(builder.public_key(self.key.public_key()).serial_number(
            x509.random_serial_number()))
        builder = builder.add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
        builder = builder.add_extension(x509.KeyUsage(
            digital_signature=False, content_commitment=False, key_encipherment=False,
            data_encipherment=False, key_agreement=False, key_cert_sign=True, crl_sign=True,
            encipher_only=False, decipher_only=False), critical=True)
        builder = builder.add_extension(
            x509.SubjectKeyIdentifier.from_public_key(self.key.public_key()), critical=False)
        self.cert = builder.sign(self.key, hashes.SHA256())

    def issue_server(self, common_name):
        """A loopback server certificate and key signed by this authority."""
        key = ec.generate_private_key(ec.SECP256R1())
        builder = x509.CertificateBuilder().subject_name(_name(common_name)).issuer_name(
            self.cert.subject).public_key(key.public_key()).serial_number(x509.random_serial_number())
        builder = _validity(builder)
        builder = builder.add_extension(x509.SubjectAlternativeName([
            x509.DNSName("localhost"), x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]),
            critical=False)
        builder = builder.add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
        builder = builder.add_extension(
            x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
        builder = builder.add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(
            self.key.public_key()), critical=False)
        return builder.sign(self.key, hashes.SHA256()), key


def _write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def _pem_cert(cert):
    return cert.public_bytes(serialization.Encoding.PEM)


def _pem_key(key):
    return key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                             serialization.NoEncryption())


def make_certificates(directory):
    """Writes ca.pem (the trusted CA), server.pem/server-key.pem (signed by it) and
    untrusted.pem/untrusted-key.pem (signed by another CA). Returns the paths."""
    trusted = Authority("Vorlane Test CA")
    other = Authority("Vorlane Untrusted CA")
    server_cert, server_key = trusted.issue_server("127.0.0.1")
    bad_cert, bad_key = other.issue_server("127.0.0.1")
    paths = {
        "ca": os.path.join(directory, "ca.pem"),
        "server_cert": os.path.join(directory, "server.pem"),
        "server_key": os.path.join(directory, "server-key.pem"),
        "untrusted_cert": os.path.join(directory, "untrusted.pem"),
        "untrusted_key": os.path.join(directory, "untrusted-key.pem"),
    }
    _write(paths["ca"], _pem_cert(trusted.cert))
    _write(paths["server_cert"], _pem_cert(server_cert))
    _write(paths["server_key"], _pem_key(server_key))
    _write(paths["untrusted_cert"], _pem_cert(bad_cert))
    _write(paths["untrusted_key"], _pem_key(bad_key))
    return paths
