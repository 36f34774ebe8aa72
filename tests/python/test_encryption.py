"""End-to-end decryption: a small text document encrypted by qpdf in every supported way
must read back as the plain document with the user or the owner password, and a wrong
password must give garbled text or a ValueError, never a crash."""

import json
import shutil
import subprocess
import sys
import textwrap
from io import BytesIO

import pikepdf
import pytest
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas

import folioscan

pytestmark = pytest.mark.skipif(shutil.which("qpdf") is None, reason="needs the qpdf tool")

USER = "user-pw"
OWNER = "owner-pw"
LINES = ["Quarterly report", "Revenue grew by 12 percent", "Keep this confidential"]

# name: (user password, qpdf key length, extra qpdf options, expected revision)
CONFIGS = {
    "r2_rc4_40": (USER, "40", [], 2),
    "r2_rc4_40_empty_user": ("", "40", [], 2),
    "r3_rc4_128": (USER, "128", ["--use-aes=n"], 3),
    "r4_rc4_128": (USER, "128", ["--use-aes=n", "--force-V4"], 4),
    "r4_aes_128": (USER, "128", ["--use-aes=y"], 4),
    "r4_aes_128_empty_user": ("", "128", ["--use-aes=y"], 4),
    "r6_aes_256": (USER, "256", [], 6),
    "r6_aes_256_empty_user": ("", "256", [], 6),
}


def make_plain_pdf() -> bytes:
    buffer = BytesIO()
    c = canvas.Canvas(buffer, pagesize=A4, invariant=1)
    c.setFont("Helvetica", 14)
    for i, line in enumerate(LINES):
        c.drawString(72, 760 - 24 * i, line)
    c.showPage()
    c.setFont("Helvetica", 12)
    c.drawString(72, 760, "Second page")
    c.showPage()
    c.save()
    return buffer.getvalue()


@pytest.fixture(scope="module")
def documents(tmp_path_factory):
    """The plain document and its encrypted forms, as file paths by config name."""
    root = tmp_path_factory.mktemp("encryption")
    plain = root / "plain.pdf"
    plain.write_bytes(make_plain_pdf())
    paths = {"plain": plain}
    for name, (user, bits, options, revision) in CONFIGS.items():
        out = root / f"{name}.pdf"
        subprocess.run(["qpdf", "--allow-weak-crypto", "--encrypt", user, OWNER, bits, *options,
                        "--", str(plain), str(out)], check=True)
        with pikepdf.open(out, password=OWNER) as pdf:
            assert pdf.is_encrypted and pdf.encryption.R == revision, name
        paths[name] = out
    return paths


@pytest.fixture(scope="module")
def plain_markdown(documents):
    text = folioscan.parse_to_markdown(documents["plain"].read_bytes())
    for line in LINES:
        assert line in text
    return text


def outcome_in_subprocess(path, password):
    """Parses in a child interpreter so that a crash fails this test instead of ending the
    run; returns ("str", text) or ("ValueError", message)."""
    script = textwrap.dedent("""
        import json, sys
        import folioscan
        data = open(sys.argv[1], "rb").read()
        password = None if sys.argv[2] == "<none>" else sys.argv[2]
        try:
            result = ("str", folioscan.parse_to_markdown(data, password=password))
        except ValueError as error:
            result = ("ValueError", str(error))
        print(json.dumps(result))
    """)
    arg = "<none>" if password is None else password
    done = subprocess.run([sys.executable, "-c", script, str(path), arg],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, f"child ended with {done.returncode}: {done.stderr[-2000:]}"
    kind, value = json.loads(done.stdout)
    assert kind in ("str", "ValueError")
    return kind, value


@pytest.mark.parametrize("name", sorted(CONFIGS))
def test_user_password_reads_the_plain_text(documents, plain_markdown, name):
    user = CONFIGS[name][0]
    data = documents[name].read_bytes()
    assert folioscan.parse_to_markdown(data, password=user) == plain_markdown


@pytest.mark.parametrize("name", sorted(CONFIGS))
def test_owner_password_reads_the_plain_text(documents, plain_markdown, name):
    data = documents[name].read_bytes()
    assert folioscan.parse_to_markdown(data, password=OWNER) == plain_markdown


@pytest.mark.parametrize("name", sorted(n for n in CONFIGS if CONFIGS[n][0] == ""))
def test_empty_user_password_needs_no_password(documents, plain_markdown, name):
    data = documents[name].read_bytes()
    assert folioscan.parse_to_markdown(data) == plain_markdown
    assert folioscan.parse_to_markdown(data, password=None) == plain_markdown


@pytest.mark.parametrize("password", ["wrong-pw", None, "user-pw ", "USER-PW"])
@pytest.mark.parametrize("name", sorted(n for n in CONFIGS if CONFIGS[n][0] == USER))
def test_wrong_password_gives_garbled_text_or_value_error(documents, plain_markdown, name, password):
    # Revisions 2 to 4 decrypt with a key from the wrong password; revision 6 builds no
    # handler and reads the file as if it were not encrypted. Either way the result is
    # unreadable text or a parse error (typically a stream that will not decode).
    kind, value = outcome_in_subprocess(documents[name], password)
    if kind == "str":
        assert value != plain_markdown
        for line in LINES:
            assert line not in value
    else:
        assert value


def test_other_functions_share_the_decryption(documents):
    data = documents["r4_aes_128"].read_bytes()
    parsed = folioscan.parse(data, password=USER)
    assert len(parsed["pages"]) == 2
    assert LINES[0] in folioscan.parse_to_json(data, password=OWNER)
    assert LINES[0] in folioscan.parse_to_html(data, password=USER)
