#!/usr/bin/env python3
"""make release: the archives and the Debian package a user installs, made the same to the byte
from the same commit; make install: the Linux build's files by the GNU conventions.

release.py DIST OUT EPOCH                  the archives, the package and SHA256SUMS
release.py install BUILD DESTDIR PREFIX EPOCH   the Linux build (Velkaron.so, plughost in
                                           BUILD) below DESTDIR/PREFIX
release.py --version                       the version
  DIST   the built files (Velkaron.wdx, Velkaron.w64, Velkaron.so, Velkaron.sample.ini, and the
         command-line hosts plughost, plughost32.exe and plughost64.exe)
  OUT    where the archives, the package and SHA256SUMS go
  EPOCH  the time every entry carries (the commit's time, in seconds since 1970)

The version is the file version of the DLLs' version resource; README.txt is made from sections
of README.md. Entries are sorted and carry fixed times, permissions (0755 for the programs, 0644
for the rest) and no owner names, and the compressors are given nothing that varies (gzip: no
name, the same time), so two runs on two machines give the same bytes.
"""
import gzip
import hashlib
import io
import os
import re
import subprocess
import sys
import tarfile
import tempfile
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
# The package's version: the program's, and the first packaging of it.
DEBIAN_REVISION = "1"
MAINTAINER = "The Velkaron authors <velkaron@example.org>"


def mode(name):
    return 0o755 if name in PROGRAMS else 0o644


def version():
    """The version resource's file version, as text (say "2.0.0.0")."""
    text = (TOP / "plugin" / "version.rc").read_text()
    return re.search(r'VALUE "FileVersion", "([0-9.]+)\\0"', text).group(1)


def expand_guides(markdown):
    """A section or sub-section that points to the guide in docs/ of its own title gets the
    guide's text instead of its summary: README.txt stands alone."""
    def expand(match):
        level, title, body = match.group(1), match.group(2), match.group(3)
        for name in re.findall(r"\]\((docs/[\w-]+\.md)\)", body):
            first, _, rest = (TOP / name).read_text().partition("\n")
            if first == "# " + title:
                return f"{level} {title}\n{rest.rstrip()}\n\n"
        return match.group(0)
    return re.sub(r"^(##|###) (.*)\n((?:(?!##).*\n)*)", expand, markdown, flags=re.M)


def readme_txt(v, line_end="\r\n"):
    """A plain-text guide made from README.md: its opening paragraph and the user's sections,
    with CR LF line ends (the archives') or LF (the installed guide's)."""
    markdown = expand_guides((TOP / "README.md").read_text())
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
    data = text.replace("\n", line_end).encode("utf-8")
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
    path.write_bytes(gz(data.getvalue(), epoch))


def gz(data, epoch):
    """gzip -9n: no name, the given time."""
    out = io.BytesIO()
    with gzip.GzipFile(filename="", fileobj=out, mode="wb", compresslevel=9, mtime=epoch) as packed:
        packed.write(data)
    return out.getvalue()


def linux_layout(dist, v, prefix, epoch):
    """The Linux build as installed below PREFIX: {path below PREFIX: bytes}. The library goes by
    the name Linux hosts of this interface look for, with its sample beside it."""
    day = time.strftime("%Y-%m-%d", time.gmtime(epoch))
    manual = (TOP / "docs" / "plughost.1").read_text()
    for key, value in (("@PREFIX@", prefix), ("@VERSION@", v), ("@DATE@", day)):
        manual = manual.replace(key, value)
    return {
        "bin/plughost": (dist / "plughost").read_bytes(),
        "lib/velkaron/Velkaron.wdx": (dist / "Velkaron.so").read_bytes(),
        "lib/velkaron/Velkaron.sample.ini": (TOP / "config" / "Velkaron.sample.ini").read_bytes(),
        "share/man/man1/plughost.1.gz": gz(manual.encode("utf-8"), epoch),
        "share/doc/velkaron/README": readme_txt(v, "\n"),
        "share/doc/velkaron/LICENSE": (TOP / "LICENSE").read_bytes(),
    }


def install(files, root):
    """Writes files below root: programs 0755, the rest 0644, and the folders it makes 0755,
    whatever the umask. Folders that exist are left as they are."""
    for name, data in files.items():
        path = root / name
        for folder in reversed(path.parents):
            if not folder.exists():
                folder.mkdir()
                os.chmod(folder, 0o755)
        path.write_bytes(data)
        os.chmod(path, 0o755 if "bin/" in name else 0o644)


def stamp(root, epoch):
    """Every entry below root, and root, carries the time epoch."""
    for folder, subfolders, names in os.walk(root):
        for name in names + subfolders:
            os.utime(Path(folder) / name, (epoch, epoch))
    os.utime(root, (epoch, epoch))


def copyright_file():
    """The licence in Debian's machine-readable copyright format."""
    licence = (TOP / "LICENSE").read_text()
    holder = re.search(r"^Copyright \(c\) (.*)$", licence, flags=re.M).group(1)
    terms = licence.split(holder, 1)[1].strip("\n")
    body = "\n".join(" " + line if line else " ." for line in terms.split("\n"))
    return ("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
            "Upstream-Name: Velkaron\n\n"
            f"Files: *\nCopyright: {holder}\nLicense: Expat\n\n"
            f"License: Expat\n{body}\n")


def changelog(v, epoch):
    stamp = time.strftime("%a, %d %b %Y %H:%M:%S +0000", time.gmtime(epoch))
    return (f"velkaron ({v}-{DEBIAN_REVISION}) unstable; urgency=medium\n\n"
            f"  * Velkaron {v}: the Linux build, its sample configuration and plughost.\n\n"
            f" -- {MAINTAINER}  {stamp}\n")


def write_deb(out, dist, v, epoch):
    """velkaron_VERSION_amd64.deb: the layout of `make install` below /usr, the licence as Debian's
    copyright file, the dependencies from what the binaries link (dpkg-shlibdeps), packed by
    dpkg-deb with root as owner and every time the epoch."""
    version = f"{v}-{DEBIAN_REVISION}"
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        files = {"usr/" + name: data for name, data in linux_layout(dist, v, "/usr", epoch).items()}
        docs = "usr/share/doc/velkaron/"
        files[docs + "copyright"] = copyright_file().encode("utf-8")
        files[docs + "changelog.Debian.gz"] = gz(changelog(v, epoch).encode("utf-8"), epoch)
        del files[docs + "LICENSE"]  # Debian's place for it is the copyright file
        root = work / "debian" / "velkaron"
        install(files, root)
        # As Debian's packaging strips: the symbol tables go, the dynamic exports stay.
        for binary, how in (("usr/lib/velkaron/Velkaron.wdx", ["--strip-unneeded"]), ("usr/bin/plughost", [])):
            subprocess.run(["strip", "--remove-section=.comment", "--remove-section=.note", *how,
                            str(root / binary)], check=True)
            files[binary] = (root / binary).read_bytes()
        (work / "debian" / "control").write_text("Source: velkaron\n\nPackage: velkaron\n"
                                                 "Architecture: amd64\n")
        shlibs = subprocess.run(
            ["dpkg-shlibdeps", "-O", f"-e{root}/usr/lib/velkaron/Velkaron.wdx",
             f"-e{root}/usr/bin/plughost"],
            cwd=work, check=True, capture_output=True, text=True).stdout
        depends = shlibs.strip().split("=", 1)[1]
        size = sum((len(data) + 1023) // 1024 for data in files.values())
        (root / "DEBIAN").mkdir()
        (root / "DEBIAN" / "control").write_text(
            f"Package: velkaron\nVersion: {version}\nArchitecture: amd64\n"
            f"Maintainer: {MAINTAINER}\nInstalled-Size: {size}\nDepends: {depends}\n"
            "Section: utils\nPriority: optional\n"
            "Description: NTFS alternate data streams as text fields of a file manager\n"
            " A content plug-in for file managers that load .wdx plug-ins: each stream of\n"
            " a file or folder named in its configuration (a Comment, the Zone.Identifier\n"
            " a browser leaves) becomes a text field that can be read and edited. On Linux\n"
            " a stream is an extended attribute, as ntfs-3g shows the streams of an NTFS\n"
            " volume, or as Samba's streams_xattr module stores them.\n"
            " .\n"
            " Also holds plughost, a command-line host that loads such a plug-in as a file\n"
            " manager does, for scripts.\n")
        (root / "DEBIAN" / "md5sums").write_text("".join(
            f"{hashlib.md5(files[name]).hexdigest()}  {name}\n" for name in sorted(files)))
        os.chmod(root / "DEBIAN", 0o755)
        for name in ("control", "md5sums"):
            os.chmod(root / "DEBIAN" / name, 0o644)
        stamp(root, epoch)
        deb = out / f"velkaron_{version}_amd64.deb"
        subprocess.run(["dpkg-deb", "--root-owner-group", "-Zxz", "--build", str(root), str(deb)],
                       check=True, stdout=subprocess.DEVNULL,
                       env={**os.environ, "SOURCE_DATE_EPOCH": str(epoch)})
    return deb


def main():
    if sys.argv[1:] == ["--version"]:
        print(version())
        return
    if sys.argv[1:2] == ["install"]:
        build, destdir, prefix, epoch = Path(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
        install(linux_layout(build, version(), prefix, epoch), Path(destdir + prefix))
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
        # The name the host's 64-bit edition and its installer look for beside Velkaron.wdx.
        "Velkaron.wdx64": (dist / "Velkaron.w64").read_bytes(),
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
    deb = write_deb(out, dist, v, epoch)
    sums = "".join(f"{hashlib.sha256(p.read_bytes()).hexdigest()}  {p.name}\n"
                   for p in sorted([windows, linux, deb]))
    (out / "SHA256SUMS").write_text(sums)
    print(sums, end="")


if __name__ == "__main__":
    main()
