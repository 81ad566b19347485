#!/usr/bin/env python3
"""make release: the archives a user installs, made the same to the byte from the same commit.

release.py DIST OUT EPOCH   (release.py --version prints the version)
  DIST   the built files (Velkaron.wdx, Velkaron.w64, Velkaron.so, Velkaron.sample.ini, and the
         command-line hosts plughost, plughost32.exe and plughost64.exe)
  OUT    where the archives and SHA256SUMS go
  EPOCH  the time every entry carries (the commit's time, in seconds since 1970)

The version is the file version of the DLLs' version resource; README.txt is made from sections
of README.md. Entries are sorted and carry fixed times, permissions (0755 for the programs, 0644
for the rest) and no owner names, and the compressors are given nothing that varies (gzip: no
name, the same time), so two runs on two machines give the same bytes.
"""
import gzip
import hashlib
import io
import re
import sys
import tarfile
import time
import zipfile
from pathlib import Path

TOP = Path(__file__).resolve().parent.parent

# The parts of README.md a user of the archive needs, in this order.
README_SECTIONS = ["Quick start", "Installing into the host", "Configuration reference",
                   "What the plug-in does with a value", "Limits", "Uninstalling", "The Linux build",
                   "plughost, the command-line host"]
# What runs: the command-line hosts. (The plug-ins are loaded, not run.)
PROGRAMS = {"plughost", "plughost32.exe", "plughost64.exe"}


def mode(name):
    return 0o755 if name in PROGRAMS else 0o644


def version():
    """The version resource's file version, as text (say "2.0.0.0")."""
    text = (TOP / "plugin" / "version.rc").read_text()
    return re.search(r'VALUE "FileVersion", "([0-9.]+)\\0"', text).group(1)


def readme_txt(v):
    """A plain-text guide made from README.md: its opening paragraph and the user's sections,
    with CR LF line ends."""
    markdown = (TOP / "README.md").read_text()
    sections = {}
    for part in re.split(r"^## ", markdown, flags=re.M)[1:]:
        title, _, body = part.partition("\n")
        sections[title.strip()] = body.strip("\n")
    opening = markdown.split("\n\n")[1]
    title = "Velkaron " + v
    lines = [title, "=" * len(title), "", opening, ""]
    for title in README_SECTIONS:
        lines += [title, "-" * len(title), "", sections[title], ""]
    text = "\n".join(lines).replace("`", "").replace("<version>", v)
    for fancy, plain in (("\u2026", "..."), ("\u2014", "-"), ("\u2013", "-")):
        text = text.replace(fancy, plain)
    # A sub-heading is underlined too, with its own mark: no Markdown "#" is left.
    text = re.sub(r"^### (.*)$", lambda m: m.group(1) + "\n" + "~" * len(m.group(1)), text, flags=re.M)
    data = text.replace("\n", "\r\n").encode("utf-8")
    # Plain ASCII reads the same everywhere; anything else needs the mark for older editors.
    return data if data.isascii() else b"\xef\xbb\xbf" + data


def pluginst_inf(v):
    return ("[plugininstall]\r\n"
            "description=Velkaron: NTFS alternate data streams as text fields\r\n"
            "type=wdx\r\n"
            "file=Velkaron.wdx\r\n"
            "defaultdir=Velkaron\r\n"
            f"version={v}\r\n").encode("ascii")


def write_zip(path, files, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip time cannot be before 1980
    with zipfile.ZipFile(path, "w") as archive:
        for name in sorted(files):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # the permissions below are Unix ones
            info.external_attr = (0o100000 | mode(name)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, files[name], compresslevel=9)


def write_tar_gz(path, folder, files, epoch):
    def entry(name, kind, mode, size=0):
        info = tarfile.TarInfo(name)
        info.type, info.mode, info.size, info.mtime = kind, mode, size, epoch
        info.uid = info.gid = 0
        info.uname = info.gname = ""
        return info

    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.GNU_FORMAT) as archive:
        archive.addfile(entry(folder, tarfile.DIRTYPE, 0o755))
        for name in sorted(files):
            archive.addfile(entry(f"{folder}/{name}", tarfile.REGTYPE, mode(name), len(files[name])),
                            io.BytesIO(files[name]))
    with open(path, "wb") as out, gzip.GzipFile(filename="", fileobj=out, mode="wb",
                                                compresslevel=9, mtime=epoch) as packed:
        packed.write(data.getvalue())


def main():
    if sys.argv[1:] == ["--version"]:
        print(version())
        return
    dist, out, epoch = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3])
    v = version()
    out.mkdir(parents=True, exist_ok=True)
    readme, sample = readme_txt(v), (dist / "Velkaron.sample.ini").read_bytes()
    licence = (TOP / "LICENSE").read_bytes()
    windows = out / f"Velkaron-{v}-windows.zip"
    linux = out / f"Velkaron-{v}-linux-x86_64.tar.gz"
    write_zip(windows, {
        "Velkaron.wdx": (dist / "Velkaron.wdx").read_bytes(),
        "Velkaron.w64": (dist / "Velkaron.w64").read_bytes(),
        "Velkaron.sample.ini": sample,
        "README.txt": readme,
        "LICENSE": licence,
        "pluginst.inf": pluginst_inf(v),
        "plughost32.exe": (dist / "plughost32.exe").read_bytes(),
        "plughost64.exe": (dist / "plughost64.exe").read_bytes(),
    }, epoch)
    # Linux hosts of this interface look for the .wdx extension: the ELF library goes by that name.
    write_tar_gz(linux, "Velkaron", {
        "Velkaron.wdx": (dist / "Velkaron.so").read_bytes(),
        "Velkaron.sample.ini": sample,
        "README.txt": readme,
        "LICENSE": licence,
        "plughost": (dist / "plughost").read_bytes(),
    }, epoch)
    sums = "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
                   for p in sorted([windows, linux]))
    (out / "SHA256SUMS").write_text(sums)
    print(sums, end="")


if __name__ == "__main__":
    main()
