#!/usr/bin/env python3
"""Checks a release archive: exactly the expected files, each of the right
kind and version, stored reproducibly (sorted, fixed times, no extra fields).

    check_archive.py ZIP VERSION SOURCE_DATE_EPOCH
"""
import configparser
import os
import stat
import struct
import sys
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pe_version  # noqa: E402


def expected_files(name):
    return {
        f"{name}/DEPLOYMENT.md": "guide",
        f"{name}/config.ini": "config",
        f"{name}/client/win32/ExamClient.exe": ("i386", True),
        f"{name}/client/win64/ExamClient.exe": ("amd64", True),
        f"{name}/setup/{name}-setup.exe": ("i386", True),
        f"{name}/server/windows-x86_64/exam-server.exe": ("amd64", False),
        f"{name}/server/linux-x86_64/exam-server": "elf",
        f"{name}/server/roster.csv": "roster",
    }


def pe_machine(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        return None
    return pe_version.MACHINES.get(struct.unpack_from("<H", data, pe + 4)[0])


def check(path, version, epoch):
    bad = []
    name = f"ExamClient-{version}"
    want = expected_files(name)
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        names = [i.filename for i in infos]
        if sorted(set(names)) != sorted(want):
            bad.append(f"entries {sorted(names)}, expected {sorted(want)}")
        if names != sorted(names):
            bad.append("entries are not sorted")
        stamp = time.gmtime(epoch)[:6]
        dos_stamp = stamp[:5] + (stamp[5] - stamp[5] % 2,)
        for info in infos:
            where = info.filename
            if info.date_time != dos_stamp:
                bad.append(f"{where}: time {info.date_time}, expected {dos_stamp}")
            if info.extra:
                bad.append(f"{where}: extra fields {info.extra!r}")
            kind = want.get(where)
            if kind is None:
                continue
            data = archive.read(info)
            mode = info.external_attr >> 16
            executable = kind not in ("guide", "config", "roster")
            if bool(mode & stat.S_IXUSR) != executable:
                bad.append(f"{where}: mode {oct(mode)}")
            if isinstance(kind, tuple):
                machine, versioned = kind
                if pe_machine(data) != machine:
                    bad.append(f"{where}: machine {pe_machine(data)}, expected {machine}")
                if versioned:
                    bad += [f"{where}: {p}" for p in pe_version.problems(data, version)]
            elif kind == "elf":
                # ELF, 64-bit, little-endian, x86-64, executable or PIE.
                if data[:6] != b"\x7fELF\x02\x01" or struct.unpack_from("<HH", data, 16) not in ((2, 62), (3, 62)):
                    bad.append(f"{where}: not a Linux x86-64 program")
            elif kind == "config":
                parser = configparser.ConfigParser(comment_prefixes=(";",))
                parser.optionxform = str
                parser.read_string(data.decode("ascii"))
                if dict(parser["Server"]) != {"IP": "127.0.0.1", "Port": "19730"}:
                    bad.append(f"{where}: [Server] is {dict(parser['Server'])}")
                if b"\r\n" not in data or b"\n" in data.replace(b"\r\n", b""):
                    bad.append(f"{where}: not CRLF line ends")
            elif kind == "roster":
                rows = data.decode("utf-8").splitlines()
                if len(rows) < 2 or any(len(r.split(",")) != 3 for r in rows):
                    bad.append(f"{where}: not a three-column roster")
            elif kind == "guide":
                text = data.decode("utf-8")
                for needed in ("config.ini", "/S /IP=", "/PORT=", "--roster", "exam-audit.csv", "部署"):
                    if needed not in text:
                        bad.append(f"{where}: says nothing of {needed!r}")
    return bad


def main():
    path, version, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
    bad = check(path, version, epoch)
    for reason in bad:
        print(f"{path}: {reason}")
    if not bad:
        print(f"{path}: {len(expected_files(''))} files, all as expected")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
