#!/usr/bin/env python3
"""Writes the WiX source (for wixl) of one release's MSI package for one bitness.

  msi_source.py RELEASE x64|x86 VERSION LINUX_REGISTRY STAGE_DIR > quillor.wxs

LINUX_REGISTRY is the file that `quillor register --release RELEASE` wrote: the
keys and values of the release's registration, decided by the same code that
the DLL's DllRegisterServer runs. They become the package's registry rows, with
the library's path standing for the installed DLL ([#QuillorLibrary]) and its
folder for the install folder, and the type library under 0\\win64 for a 64-bit
DLL, as the DLL writes them itself. Nothing here lists a key by hand.

STAGE_DIR (where wixl runs: the sources are named relative to it) holds the files the package installs: quillor-RELEASE.dll,
MaterialXmlRs.Xml and the administrator's files (README.txt, *.vbs).

Identifiers that must stay the same from one build to the next (the upgrade
code of a release and bitness, the components') are derived from fixed names,
so that a newer build upgrades an older one and its components are the same.
"""
import json
import pathlib
import sys
import uuid
from xml.sax.saxutils import quoteattr

# The namespace of the package's own identifiers; never change it, or packages
# built after the change no longer upgrade the ones built before.
NAMESPACE = uuid.UUID("6f1d3c52-8a0e-4b7d-9c21-5e4a7b3f9d10")

# Releases that share class identifiers and so cannot be installed side by side.
SHARES_IDENTIFIERS = {"8.61": "8.50", "8.50": "8.61"}


def guid(name):
    return "{" + str(uuid.uuid5(NAMESPACE, name)).upper() + "}"


def upgrade_code(release, arch):
    return guid(f"upgrade {release} {arch}")


def next_build(version):
    """The version after this one in the three fields Windows Installer compares.

    The range of builds a package replaces ends there, excluded: the same build
    installed again replaces itself rather than standing beside itself.
    """
    major, minor, build = (int(x) for x in version.split("."))
    return f"{major}.{minor}.{build + 1}"


def linux_keys(path):
    """The keys in the order the registration wrote them, each with its values."""
    keys = {}
    current = None
    for line in pathlib.Path(path).read_text(encoding="utf-8").splitlines():
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            current = keys.setdefault(line[1:-1], {})
            continue
        name, _, value = line.partition("=")
        current["" if name == "@" else json.loads(name)] = json.loads(value)
    return keys


def formatted(text):
    """A literal text in an MSI formatted field: brackets and braces escaped."""
    out = []
    for ch in text:
        out.append({"[": "[\\[]", "]": "[\\]]", "{": "[\\{]", "}": "[\\}]"}.get(ch, ch))
    return "".join(out)


def registry_rows(keys, win64, indent):
    library = next(v[""] for k, v in keys.items() if k.lower().endswith("\\inprocserver32"))
    folder = library.rsplit("/", 1)[0]
    rows = []
    for key, values in keys.items():
        if win64 and key.lower().endswith("\\0\\win32"):
            key = key[: -len("win32")] + "win64"
        for name, value in values.items():
            if value == library:
                text = "[#QuillorLibrary]"
            elif value == folder:
                # A folder property ends with a backslash; the DLL writes none.
                text = "[INSTALLDIR]"
            else:
                text = formatted(value)
                if text.startswith("#"):
                    text = "#" + text  # a leading # would make it a number
            name_attr = f" Name={quoteattr(name)}" if name else ""
            rows.append(
                f'{indent}<RegistryValue Root="HKCR" Key={quoteattr(key)}{name_attr} '
                f'Type="string" Value={quoteattr(text)}/>'
            )
    return rows


def main():
    release, arch, version, registry, stage = sys.argv[1:6]
    stage = pathlib.Path(stage)
    win64 = arch == "x64"
    bits = "64-bit" if win64 else "32-bit"
    w64 = ' Win64="yes"' if win64 else ""
    keys = linux_keys(registry)
    indent = " " * 12
    extra = sorted(p.name for p in stage.iterdir() if p.suffix.lower() in (".txt", ".vbs"))
    name = f"Quillor {release} ({bits})"
    detect = ""
    condition = ""
    other = SHARES_IDENTIFIERS.get(release)
    if other:
        # Both halves of the pair refuse to go over the other: they share class
        # identifiers, and one package's uninstall would take the other's keys.
        detect = f"""
    <Upgrade Id="{upgrade_code(other, arch)}">
      <UpgradeVersion Minimum="0.0.0" IncludeMinimum="yes" OnlyDetect="yes" Property="QUILLOR_OTHER_RELEASE"/>
    </Upgrade>"""
        condition = f"""
    <Condition Message="Quillor {other} ({bits}) is installed. Releases {release} and {other} share their class identifiers and cannot be installed side by side: uninstall Quillor {other} first.">Installed OR NOT QUILLOR_OTHER_RELEASE</Condition>"""
    files = "\n".join(
        f'''          <Component Id="Doc{i}" Guid="{guid(f"doc {release} {arch} {f}")}"{w64}>
            <File Id="Doc{i}" Name={quoteattr(f)} Source={quoteattr(f)} KeyPath="yes"/>
          </Component>'''
        for i, f in enumerate(extra)
    )
    program_files = "ProgramFiles64Folder" if win64 else "ProgramFilesFolder"
    registry = "\n".join(registry_rows(keys, win64, indent))
    print(f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Written by packaging/windows/msi_source.py: change that, not this. -->
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name={quoteattr(name)} Language="1033" Version="{version}"
           Manufacturer="Quillor" UpgradeCode="{upgrade_code(release, arch)}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description={quoteattr(name)} Manufacturer="Quillor"/>
    <Upgrade Id="{upgrade_code(release, arch)}">
      <UpgradeVersion Minimum="0.0.0" IncludeMinimum="yes" Maximum="{next_build(version)}" Property="QUILLOR_OLDER_BUILD"/>
      <UpgradeVersion Minimum="{version}" IncludeMinimum="no" OnlyDetect="yes" Property="QUILLOR_NEWER_BUILD"/>
    </Upgrade>
    <Condition Message="A newer build of Quillor {release} ({bits}) is already installed.">Installed OR NOT QUILLOR_NEWER_BUILD</Condition>
    <InstallExecuteSequence>
      <RemoveExistingProducts After="InstallValidate"/>
    </InstallExecuteSequence>{detect}{condition}
    <Media Id="1" Cabinet="quillor.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="{program_files}">
        <Directory Id="QuillorFolder" Name="Quillor">
          <!-- Program Files\Quillor goes too, when no other release is left in it. -->
          <Component Id="QuillorFolder" Guid="{guid(f"folder {release} {arch}")}"{w64}>
            <RemoveFolder Id="RemoveQuillorFolder" On="uninstall"/>
          </Component>
        <Directory Id="INSTALLDIR" Name="{release}">
          <Component Id="Library" Guid="{guid(f"library {release} {arch}")}"{w64}>
            <File Id="QuillorLibrary" Name="quillor-{release}.dll" Source="quillor-{release}.dll" KeyPath="yes"/>
{registry}
          </Component>
          <Component Id="Mapping" Guid="{guid(f"mapping {release} {arch}")}"{w64}>
            <File Id="Mapping" Name="MaterialXmlRs.Xml" Source="MaterialXmlRs.Xml" KeyPath="yes"/>
          </Component>
{files}
        </Directory>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
      <ComponentRef Id="Library"/>
      <ComponentRef Id="Mapping"/>
      <ComponentRef Id="QuillorFolder"/>
{chr(10).join(f'      <ComponentRef Id="Doc{i}"/>' for i in range(len(extra)))}
    </Feature>
  </Product>
</Wix>""")


if __name__ == "__main__":
    main()
