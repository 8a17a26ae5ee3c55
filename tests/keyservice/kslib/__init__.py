"""The test key service: an independent server side of the key-management protocol for the tests."""
