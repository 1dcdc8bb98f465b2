"""Stamp, then sign with osslsigncode and a throwaway certificate: the launcher verifies and runs, `dump` tells
signed from unsigned, and `write` refuses a signed stub (a written launcher's checksum: test_stubconfig)."""
import shutil
import subprocess

import pytest

from conftest import BRIDGE, BUILDS, X64, make_app, text
from test_stubconfig import TOOL

pytestmark = pytest.mark.skipif(shutil.which("osslsigncode") is None, reason="needs osslsigncode")


@pytest.fixture(scope="module")
def certificate(tmp_path_factory):
    folder = tmp_path_factory.mktemp("certificate")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Throwaway",
                    "-keyout", folder / "key.pem", "-out", folder / "cert.pem"], check=True, capture_output=True)
    return folder / "cert.pem", folder / "key.pem"


def signature_comment(exe):
    return subprocess.run([TOOL, "dump", exe], capture_output=True, text=True, check=True).stdout.splitlines()[-1]


@pytest.mark.parametrize("build", BUILDS)
@pytest.mark.parametrize("kind", ["stubcon", "stubwin"])
def test_stamped_launcher_signs_verifies_and_runs(wine, certificate, scratch, build, kind):
    cert, key = certificate
    settings = {"MainClass": "testapps.PrintArgs", "AppOptions": "signed run", "ShowSplash": "0"}
    unsigned = make_app(scratch, getattr(build, kind), settings, runtime=BRIDGE if build is X64 else build.double,
                        name="unsigned.exe")
    assert signature_comment(unsigned) == "; Authenticode signature: none"

    signed = scratch / "app.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", unsigned, "-out", signed],
                   check=True, capture_output=True)
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], capture_output=True, text=True)
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert signature_comment(signed).startswith("; Authenticode signature: present (")

    refused = subprocess.run([TOOL, "write", "--stub", signed, "--config", unsigned.with_suffix(".ini.cfg"),
                              "--out", scratch / "again.exe"], capture_output=True, text=True)
    assert refused.returncode == 1
    assert "app.exe: is Authenticode-signed" in refused.stderr
    assert "(stamp an unsigned stub, then sign the result)" in refused.stderr
    assert not (scratch / "again.exe").exists()

    proc = wine.run(signed, env={"JVMDOUBLE_MAIN": "print"})
    assert proc.returncode == 0, proc
    lines = text(proc.stdout).splitlines()
    assert lines[:2] == (["arg:signed", "arg:run"] if build is X64 else ["signed", "run"])
