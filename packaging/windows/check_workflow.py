#!/usr/bin/env python3
"""Static checks of the Windows workflow (.github/workflows/windows.yml) and
of what it deploys, for scripts/windows-check.sh: the steps that only a
Windows runner can run, read for the mistakes that would stop them or give an
installer that fails on a user's machine. Prints one line per failed check
and exits 1 when there is any.

  check_workflow.py ROOT
"""
import glob
import os
import re
import sys

import yaml


def steps_by_text(steps, needle):
    return [s for s in steps if needle in s.get("run", "")]


def main(root):
    path = os.path.join(root, ".github", "workflows", "windows.yml")
    doc = yaml.safe_load(open(path, encoding="utf-8"))
    jobs = doc["jobs"]
    job = next(iter(jobs.values()))
    steps = job["steps"]
    env = job.get("env", {})
    uses = {s.get("uses", "").split("@")[0]: s for s in steps if "uses" in s}
    runs = "\n".join(s.get("run", "") for s in steps)
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    # The job and its tools.
    check(len(jobs) == 1 and job["runs-on"] == "windows-latest", "one job on windows-latest")
    check("push" in (doc.get("on") or doc.get(True)), "runs on push")  # YAML 1.1 reads "on" as True
    check("actions/checkout" in uses, "checks out")
    qt = uses.get("jurplel/install-qt-action", {}).get("with", {})
    check("qtwebengine" in qt.get("modules", "") and "msvc" in qt.get("arch", ""), "Qt for MSVC with WebEngine")
    check("actions/upload-artifact" in uses, "keeps the installer")
    for needle in ("cmake --build", "ctest", "windeployqt", "makensis", "packaging/windows/installer.nsi"):
        check(needle in runs, "a step runs " + needle)

    # Item: the MSVC toolset is pinned below the one that dropped the stdext
    # iterators Qt 6.5's headers use (14.5x).
    toolset = str(uses.get("ilammy/msvc-dev-cmd", {}).get("with", {}).get("toolset", ""))
    check(re.fullmatch(r"14\.(29|[34]\d)(\.\d+)?", toolset) is not None,
          "msvc-dev-cmd pins a toolset before 14.50 (toolset: %r)" % toolset)

    # Item: vcpkg by the image's path, never the bare name (Visual Studio's
    # copy, first on the PATH, has no classic mode).
    vcpkg_steps = steps_by_text(steps, "vcpkg")
    installs = [s["run"] for s in vcpkg_steps if " install " in s["run"]]
    check(installs and all("$env:VCPKG_INSTALLATION_ROOT\\vcpkg.exe" in r for r in installs),
          "vcpkg install runs $env:VCPKG_INSTALLATION_ROOT\\vcpkg.exe")
    check(not re.search(r"(^|[\s;&|(])vcpkg(\.exe)?\s+install", runs, re.M),
          "no step runs the bare vcpkg from the PATH")

    # Item: a release-only triplet from the overlay folder, and the binary
    # archives kept between runs.
    triplet = env.get("VCPKG_TRIPLET", "")
    triplet_file = os.path.join(root, "packaging", "windows", "triplets", triplet + ".cmake")
    check(os.path.isfile(triplet_file), "VCPKG_TRIPLET %r is packaging/windows/triplets/%s.cmake" % (triplet, triplet))
    if os.path.isfile(triplet_file):
        text = open(triplet_file, encoding="utf-8").read()
        check(re.search(r"set\(VCPKG_BUILD_TYPE\s+release\)", text), "the triplet builds release only")
        check(re.search(r"set\(VCPKG_LIBRARY_LINKAGE\s+dynamic\)", text), "the triplet makes DLLs")
    for port in ("libpsl", "sqlite3"):
        check(any('"%s:$env:VCPKG_TRIPLET"' % port in r for r in installs), "vcpkg installs " + port)
    check(all("--overlay-triplets=" in r and "packaging\\windows\\triplets" in r for r in installs),
          "vcpkg install is given the overlay triplets")
    sources = env.get("VCPKG_BINARY_SOURCES", "")
    archive = re.search(r"files,([^,;]+)", sources)
    cache = uses.get("actions/cache", {}).get("with", {})
    check(archive is not None, "VCPKG_BINARY_SOURCES names a files archive")
    if archive:
        folder = archive.group(1).replace("${{ github.workspace }}", "").strip("\\/")
        check(cache.get("path", "").strip("\\/") == folder, "actions/cache keeps %s" % folder)
    order = [s.get("uses", "").split("@")[0] or s.get("run", "") for s in steps]
    cache_at = next((i for i, s in enumerate(order) if s == "actions/cache"), None)
    install_at = next((i for i, s in enumerate(order) if "vcpkg.exe\" install" in s), None)
    check(cache_at is not None and install_at is not None and cache_at < install_at,
          "the cache is restored before vcpkg installs")

    # Items: the runtime, the offscreen platform and the Chinese catalogues
    # are deployed, and the stage is checked against the list.
    deploy = steps_by_text(steps, "windeployqt")
    deploy = deploy[0]["run"] if deploy else ""
    check("--compiler-runtime" not in deploy.replace("--no-compiler-runtime", ""),
          "windeployqt without --compiler-runtime (only vc_redist.x64.exe, never run)")
    for needle, what in (
            ("$env:VCToolsRedistDir", "the C++ runtime from VCToolsRedistDir"),
            ("Microsoft.VC14*.CRT", "the CRT DLLs"),
            ("plugins/platforms/qoffscreen.dll", "qoffscreen.dll"),
            ("qtbase_zh_CN.qm", "qtbase_zh_CN.qm"),
            ("qtwebengine_zh_CN.qm", "qtwebengine_zh_CN.qm"),
            ("qtwebengine_locales/zh-CN.pak", "qtwebengine_locales/zh-CN.pak"),
            ("stage.py check stage packaging/windows/required-files.txt", "the stage checked against the list")):
        check(needle in deploy, "the deploy step copies or runs " + what)
    required = [line.strip() for line in open(os.path.join(root, "packaging", "windows", "required-files.txt"),
                                              encoding="utf-8") if line.strip() and not line.startswith("#")]
    for name in ("vcruntime140.dll", "vcruntime140_1.dll", "msvcp140.dll", "platforms/qoffscreen.dll",
                 "platforms/qwindows.dll", "translations/qtbase_zh_CN.qm", "translations/qtwebengine_zh_CN.qm",
                 "translations/qtwebengine_locales/zh-CN.pak", "QtWebEngineProcess.exe", "psl*.dll",
                 "sqlite3.dll"):
        check(name in required, "required-files.txt lists " + name)

    # The installer: its uninstall list made from the same stage, and given.
    installer = steps_by_text(steps, "installer.nsi")
    installer = installer[0]["run"] if installer else ""
    check("stage.py uninstall stage" in installer and "/DUNINSTALL_LIST=" in installer,
          "the installer step makes and passes the uninstall list")
    check(glob.glob(os.path.join(root, "packaging", "windows", "*.ico")), "packaging/windows has the icon")

    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
