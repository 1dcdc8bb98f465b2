"""Writes a C header naming every slot of the two JNI function tables, read from the JDK's own jni.h,
so that the bridge can say which entry the launcher called when it reaches one it does not forward.
The FOR_EACH_*_SLOT macros let the bridge define one distinct failing function per slot."""
import re
import sys


def slot_names(header, struct):
    body = re.search(r"struct %s \{(.*?)\n\};" % struct, header, re.S)
    if not body:
        sys.exit("struct %s not found" % struct)
    names = []
    for decl in body.group(1).split(";"):
        decl = re.sub(r"/\*.*?\*/", " ", decl, flags=re.S).strip()
        if not decl:
            continue
        member = re.search(r"\(JNICALL \*(\w+)\)", decl) or re.search(r"\*\s*(\w+)$", decl)
        if not member:
            sys.exit("unrecognised member of %s: %r" % (struct, decl))
        names.append(member.group(1))
    return names


def main():
    jni_h, out = sys.argv[1], sys.argv[2]
    header = open(jni_h, encoding="latin-1").read()
    lines = ["/* Generated from %s by entry_names.py. */" % jni_h]
    for struct, array, each in (("JNINativeInterface_", "kEnvEntryNames", "FOR_EACH_ENV_SLOT"),
                                ("JNIInvokeInterface_", "kVmEntryNames", "FOR_EACH_VM_SLOT")):
        names = slot_names(header, struct)
        lines.append("static const char *const %s[%d] = {" % (array, len(names)))
        lines += ['    "%s",' % name for name in names]
        lines.append("};")
        lines.append("#define %s(X) %s" % (each, " ".join("X(%d)" % i for i in range(len(names)))))
    open(out, "w").write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
