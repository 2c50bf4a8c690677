#!/usr/bin/env python3
"""Sample installed products for end-to-end runs under Wine.

Builds what the launcher looks at on a real machine: a Windows Installer
package per product (made with wixl, touched up with msibuild), the host
product's main module "mainmod.vxm" with a chosen file version, and the
host product's registry key that names the module's folder. Also builds
msiprobe, a console tool that reports what msi.dll says about a product.

Everything that runs inside Wine goes through a `run_wine(args)` callable
that the caller supplies for its prefix; it returns (code, stdout, stderr).

Standard library and the harness's winetest (which Wine runs the helper
programs); needs wixl and msibuild (msitools) and a MinGW-w64 toolchain on
PATH.
"""

import os
import re
import shutil
import subprocess
import tempfile
import uuid
import xml.etree.ElementTree as ET
from typing import Callable, List, NamedTuple, Optional, Sequence, Tuple

import winetest

HERE = os.path.dirname(os.path.abspath(__file__))

RunWine = Callable[[Sequence[str]], Tuple[int, str, str]]

HOST_KEY_FORMAT = "Software\\Brimfold\\Tessary\\R16.0\\Vorn-{}:{}"
HOST_VALUE = "VornLocation"
# A second value of the host key, for a patch to change: its Registry row has a fixed
# key, so that one transform finds the row in every sample product.
SERVICE_PACK_ROW = "ServicePackLevel"
SERVICE_PACK_VALUE = "ServicePack"
SERVICE_PACK_BEFORE = "0"
MODULE_NAME = "mainmod.vxm"
# The machine's product registration, where the launcher's fix-up acts (HKCR would merge in
# the account's own Classes).
REGISTRATION_KEY_FORMAT = "HKLM\\Software\\Classes\\Installer\\Products\\{}"

# Fixed namespace so that the same product code always yields the same
# upgrade, package and component codes: rebuilt packages stay comparable.
# The sample patch package names the upgrade codes made this way.
_CODE_NAMESPACE = uuid.UUID("5d0c7c39-2a61-4e0b-9a57-b1f3a3e1c0d4")

_PRODUCT_CODE = re.compile(
    r"^\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}$")
_VERSION = re.compile(r"^\d+(\.\d+){1,3}$")

REFUSE_PATCH_ACTION = "RefusePatch"
# Before InstallInitialize, so a refused patch leaves nothing to roll back.
REFUSE_PATCH_SEQUENCE = 1450
# Where a restart action asked for on PATCH runs: between InstallInitialize and
# InstallFinalize, as ForceReboot must.
RESTART_ACTIONS = ("ScheduleReboot", "ForceReboot")
RESTART_SEQUENCE = 6590


class BuildError(RuntimeError):
    pass


class WineError(RuntimeError):
    pass


# --- Toolchain --------------------------------------------------------------

class WindowsTarget(NamedTuple):
    """How Windows programs are built and run on this machine."""
    machine: str      # "i686" or "x86_64"
    loader: str       # wine loader to run them with
    wineserver: str
    gcc: str
    windres: str

    @property
    def win64(self) -> bool:
        return self.machine == "x86_64"


def windows_target() -> WindowsTarget:
    """The helper programs' target, as the harness's one machine description has it:
    i686 + wine where this kernel runs 32-bit Wine, else x86_64 + wine64."""
    machine = winetest.machine()
    wineserver = winetest.WINESERVER
    if not os.path.exists(wineserver):
        wineserver = shutil.which("wineserver") or "wineserver"
    return WindowsTarget(machine.helpers, machine.loader, wineserver,
                         machine.helper_gcc,
                         machine.helpers + "-w64-mingw32-windres")


def _check_call(args: Sequence[str], what: str, cwd: Optional[str] = None) -> None:
    result = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, errors="replace", cwd=cwd)
    if result.returncode != 0:
        raise BuildError("{} failed ({}): {}\n{}".format(
            what, result.returncode, " ".join(args), result.stdout))


# --- Main module and probe --------------------------------------------------

def build_module(out_path: str, file_version: str, work_dir: Optional[str] = None,
                 target: Optional[WindowsTarget] = None) -> str:
    """Builds a stand-in main module whose FILEVERSION is `file_version`.

    Its PRODUCTVERSION is always 99.0.0.0, so a reader that takes the product
    version instead of the file version is caught."""
    parts = _version_parts(file_version, 4)
    target = target or windows_target()
    with _work_dir(work_dir) as work:
        # The version goes in through a generated header: windres hands -D
        # values to the preprocessor through a shell, which mangles quotes.
        with open(os.path.join(work, "mainmod_version.h"), "w", encoding="ascii") as header:
            header.write("#define MODULE_FILEVERSION {}\n".format(",".join(parts)))
            header.write("#define MODULE_FILEVERSION_TEXT \"{}\"\n".format(".".join(parts)))
        res = os.path.join(work, "mainmod_res.o")
        _check_call([target.windres, "--include-dir", work, "-i", os.path.join(HERE, "mainmod.rc"),
                     "-o", res], "windres")
        _check_call([target.gcc, "-shared", "-nostdlib", "-s",
                     # i686 symbols carry the C underscore and stdcall suffix.
                     "-Wl,-e," + ("_DllMainCRTStartup@12" if target.machine == "i686"
                                  else "DllMainCRTStartup"),
                     "-o", out_path, os.path.join(HERE, "mainmod.c"), res], "gcc (module)")
    return out_path


def build_probe(out_exe: str, target: Optional[WindowsTarget] = None) -> str:
    """Builds msiprobe.exe for the machine's Windows target (static, no DLLs)."""
    target = target or windows_target()
    _check_call([target.gcc, "-municode", "-static", "-O2", "-Wall", "-o", out_exe,
                 os.path.join(HERE, "msiprobe.c"), "-lmsi", "-lversion", "-lole32"],
                "gcc (msiprobe)")
    return out_exe


class ProbeResult:
    """The key=value lines that msiprobe printed."""

    def __init__(self, text: str):
        self.lines: List[Tuple[str, str]] = []
        for line in text.splitlines():
            line = line.rstrip("\r")
            key, sep, value = line.partition("=")
            if sep:
                self.lines.append((key, value))

    def get(self, key: str) -> Optional[str]:
        return next((v for k, v in self.lines if k == key), None)

    def all(self, key: str) -> List[str]:
        return [v for k, v in self.lines if k == key]

    def listed(self, key: str) -> List[str]:
        """all(key) of a listing that ran to its end: a failed call would read as "none"."""
        if self.get("result") != "0":
            raise WineError("msiprobe: the listing failed: {}".format(self.lines))
        return self.all(key)


def run_probe(run_wine: RunWine, probe_exe: str, *args: str) -> ProbeResult:
    code, out, err = run_wine([windows_path(probe_exe), *args])
    if code != 0:
        raise WineError("msiprobe {} exited {}: {}".format(" ".join(args), code, err))
    return ProbeResult(out)


# --- Product codes and registry places --------------------------------------

def pack_product_code(code: str) -> str:
    """The Windows Installer's packed form of a braced product code.

    Groups one to three reversed, then the last 16 digits as pairs with the
    two characters of each pair swapped; case is kept."""
    rest = code[20:24] + code[25:37]
    pairs = "".join(rest[i + 1] + rest[i] for i in range(0, 16, 2))
    return code[8:0:-1] + code[13:9:-1] + code[18:14:-1] + pairs


def host_key_path(code: str) -> str:
    """HKLM-relative host product key: Vorn-P:Q with P, Q the second to fourth
    digits of the code's second and third groups."""
    dash = code.index("-")
    return HOST_KEY_FORMAT.format(code[dash + 2:dash + 5], code[dash + 7:dash + 10])


def registration_key_path(code: str) -> str:
    return REGISTRATION_KEY_FORMAT.format(pack_product_code(code))


def derived_code(code: str, purpose: str) -> str:
    """A braced upper-case GUID that depends only on `code` and `purpose`."""
    return "{" + str(uuid.uuid5(_CODE_NAMESPACE, purpose + ":" + code.upper())).upper() + "}"


def install_folder_name(code: str) -> str:
    """The product's folder under [ProgramFilesFolder]Brimfold: unique per code."""
    return "Tessary " + code.strip("{}").upper()


# --- Packages ---------------------------------------------------------------

def build_product(out_msi: str, product_code: str, name: str, language, version: str,
                  module_path: str, refuse_patch: bool = False,
                  work_dir: Optional[str] = None, win64: bool = False,
                  restart_on_patch: Optional[str] = None) -> str:
    """Builds a per-machine package for one sample product.

    It installs `module_path` as mainmod.vxm into
    [ProgramFilesFolder]Brimfold\\Tessary <code>\\ and writes the host key's
    "VornLocation" = [INSTALLDIR] (stored with its trailing backslash) and
    "ServicePack" = "0", from the Registry row "ServicePackLevel".
    `refuse_patch` adds a type-19 custom action conditioned on PATCH, so
    installing works and every patch attempt ends with 1603.
    `restart_on_patch` ("ScheduleReboot" or "ForceReboot") runs that standard
    action in InstallExecuteSequence whenever PATCH is set.
    `win64` makes an x64 package whose file and host key land in the 64-bit
    program folder and registry view; the default is a 32-bit package, which
    writes the 32-bit view (Wow6432Node as a 64-bit process sees it).
    Names must be representable in code page 1252: wixl drops other text."""
    if not _PRODUCT_CODE.match(product_code):
        raise ValueError("not a braced GUID: {!r}".format(product_code))
    if not _VERSION.match(version):
        raise ValueError("not a product version: {!r}".format(version))
    language = str(int(language))
    try:
        name.encode("cp1252")
    except UnicodeEncodeError:
        raise ValueError("product name not representable in code page 1252: {!r}".format(name))
    code = product_code.upper()
    out_msi = os.path.abspath(out_msi)
    # The package code changes with everything that changes the package, so two
    # different builds for one product are never taken for the same package.
    if restart_on_patch not in (None,) + RESTART_ACTIONS:
        raise ValueError("not a restart action: {!r}".format(restart_on_patch))
    package_code = derived_code(code, "package:{}:{}:{}:{}:{}:{}".format(
        name, language, version, int(refuse_patch), int(win64), restart_on_patch or ""))

    with _work_dir(work_dir) as work:
        module_copy = os.path.join(work, MODULE_NAME)
        shutil.copyfile(module_path, module_copy)
        wxs = os.path.join(work, "product.wxs")
        _write_wxs(wxs, code, package_code, name, language, version, MODULE_NAME, win64)
        # wixl resolves File sources against its working folder and rejects
        # absolute ones.
        _check_call(["wixl", "-a", "x64" if win64 else "x86", "-o", out_msi, wxs], "wixl",
                    cwd=work)
        if refuse_patch:
            _check_call(["msibuild", out_msi, "-q",
                         "INSERT INTO CustomAction (Action, Type, Target) VALUES "
                         "('{}', 19, 'This product refuses patches.')".format(REFUSE_PATCH_ACTION),
                         "-q",
                         "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
                         "VALUES ('{}', 'PATCH', {})".format(REFUSE_PATCH_ACTION,
                                                             REFUSE_PATCH_SEQUENCE)],
                        "msibuild (custom action)")
        if restart_on_patch:
            _check_call(["msibuild", out_msi, "-q",
                         "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) "
                         "VALUES ('{}', 'PATCH', {})".format(restart_on_patch, RESTART_SEQUENCE)],
                        "msibuild (restart action)")
        # wixl ignores the Package Id and writes a random revision number; set
        # the package code and the template's language explicitly.
        _check_call(["msibuild", out_msi, "-s", name, "Brimfold",
                     "{};{}".format("x64" if win64 else "Intel", language), package_code],
                    "msibuild (summary)")
    return out_msi


def _write_wxs(path: str, code: str, package_code: str, name: str, language: str, version: str,
               module_file: str, win64: bool) -> None:
    ns = "http://schemas.microsoft.com/wix/2006/wi"
    ET.register_namespace("", ns)

    def element(parent, tag, **attributes):
        return ET.SubElement(parent, "{%s}%s" % (ns, tag), attributes)

    root = ET.Element("{%s}Wix" % ns)
    product = element(root, "Product", Id=code, Name=name, Language=language,
                      Codepage="1252", Version=version, Manufacturer="Brimfold",
                      UpgradeCode=derived_code(code, "upgrade"))
    element(product, "Package", Id=package_code, InstallerVersion="200",
            Compressed="yes", InstallScope="perMachine", Languages=language)
    element(product, "Media", Id="1", Cabinet="product.cab", EmbedCab="yes")
    target_dir = element(product, "Directory", Id="TARGETDIR", Name="SourceDir")
    programs = element(target_dir, "Directory",
                       Id="ProgramFiles64Folder" if win64 else "ProgramFilesFolder")
    maker = element(programs, "Directory", Id="MAKERDIR", Name="Brimfold")
    install_dir = element(maker, "Directory", Id="INSTALLDIR", Name=install_folder_name(code))
    component = element(install_dir, "Component", Id="MainModule",
                        Guid=derived_code(code, "component"),
                        Win64="yes" if win64 else "no")
    element(component, "File", Id="MainModuleFile", Name=MODULE_NAME, Source=module_file,
            KeyPath="yes")
    element(component, "RegistryValue", Root="HKLM", Key=host_key_path(code),
            Name=HOST_VALUE, Type="string", Value="[INSTALLDIR]")
    element(component, "RegistryValue", Id=SERVICE_PACK_ROW, Root="HKLM", Key=host_key_path(code),
            Name=SERVICE_PACK_VALUE, Type="string", Value=SERVICE_PACK_BEFORE)
    feature = element(product, "Feature", Id="Complete", Level="1")
    element(feature, "ComponentRef", Id="MainModule")
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


# --- Inside the prefix ------------------------------------------------------

def windows_path(unix_path: str) -> str:
    """The path as a Wine program sees it through drive Z: (the root of the
    Unix file system in every fresh prefix)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def install_product(run_wine: RunWine, msi_unix_path: str) -> None:
    code, out, err = run_wine(["msiexec", "/i", windows_path(msi_unix_path), "/qn"])
    if code != 0:
        # A Unix exit status keeps only the low 8 bits: 1603 shows as 67.
        raise WineError("msiexec /i {} exited {}: {}{}".format(msi_unix_path, code, out, err))


def reg_query_value(run_wine: RunWine, key: str, value: str,
                    view: int = winetest.VIEW_64) -> Optional[Tuple[str, str]]:
    """(type, data) of one registry value, or None when key or value is missing."""
    code, out, _ = run_wine(["reg", "query", key, "/v", value, *winetest.reg_view_args(view)])
    if code != 0:
        return None
    return parse_reg_value(out, value)


def parse_reg_value(reg_output: str, value: str) -> Optional[Tuple[str, str]]:
    pattern = re.compile(r"^\s+" + re.escape(value) + r"\s{4}(REG_[A-Z_]+)\s{4}(.*)$",
                         re.IGNORECASE)
    for line in reg_output.splitlines():
        match = pattern.match(line.rstrip("\r\n"))
        if match:
            return match.group(1), match.group(2)
    return None


def host_location(run_wine: RunWine, code: str,
                  view: int = winetest.Machine.host_view) -> Optional[str]:
    """The host key's "VornLocation" in the given registry view, or None."""
    found = reg_query_value(run_wine, "HKLM\\" + host_key_path(code), HOST_VALUE, view)
    return found[1] if found else None


def service_pack_level(run_wine: RunWine, code: str,
                       view: int = winetest.Machine.host_view) -> Optional[str]:
    """The host key's "ServicePack" in the given registry view, or None."""
    found = reg_query_value(run_wine, "HKLM\\" + host_key_path(code), SERVICE_PACK_VALUE, view)
    return found[1] if found else None


def registration_exists(run_wine: RunWine, code: str) -> bool:
    return run_wine(["reg", "query", registration_key_path(code),
                     *winetest.reg_view_args(winetest.VIEW_64)])[0] == 0


def add_transforms(run_wine: RunWine, product_code: str, value: str = ":sample.mst") -> None:
    code, out, err = run_wine(["reg", "add", registration_key_path(product_code),
                               "/v", "Transforms", "/d", value, "/f",
                               *winetest.reg_view_args(winetest.VIEW_64)])
    if code != 0:
        raise WineError("reg add Transforms exited {}: {}{}".format(code, out, err))


def read_transforms(run_wine: RunWine, product_code: str) -> Optional[str]:
    found = reg_query_value(run_wine, registration_key_path(product_code), "Transforms")
    return found[1] if found else None


def has_transforms(run_wine: RunWine, product_code: str) -> bool:
    return read_transforms(run_wine, product_code) is not None


def prefix_unix_path(prefix: str, windows: str) -> str:
    """Unix path of a C:\\ path inside `prefix` (other drives are not mapped)."""
    if not windows[:3].upper() == "C:\\":
        raise ValueError("not a C: path: {!r}".format(windows))
    parts = [p for p in windows[3:].split("\\") if p]
    return os.path.join(prefix, "drive_c", *parts)


# --- Helpers ----------------------------------------------------------------

def _version_parts(version: str, count: int) -> List[str]:
    if not _VERSION.match(version):
        raise ValueError("not a dotted version: {!r}".format(version))
    parts = version.split(".")
    if any(int(p) > 0xFFFF for p in parts):
        raise ValueError("version part above 65535: {!r}".format(version))
    return parts + ["0"] * (count - len(parts))


class _work_dir:
    """The given folder, or a temporary one removed afterwards."""

    def __init__(self, path: Optional[str]):
        self._given = path
        self._temp: Optional[str] = None

    def __enter__(self) -> str:
        if self._given:
            os.makedirs(self._given, exist_ok=True)
            return os.path.abspath(self._given)
        self._temp = tempfile.mkdtemp(prefix="sample-product-")
        return self._temp

    def __exit__(self, *exc) -> None:
        if self._temp:
            shutil.rmtree(self._temp, ignore_errors=True)
