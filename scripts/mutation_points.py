#!/usr/bin/python3
"""The mutation points of the product, found with libclang (python3-clang).

Every point is one concrete text edit of one product file: a byte range and
its replacement, with an id that stays the same while the function around it
keeps its name and its other points of the same kind ahead of it:
    <file without .cpp/.h>:<function or variable>:<operator><n>
for example daemon/settings:HiddenModuleLines:rel1.

Operators:
    rel    a relational or equality operator replaced (< <=, > >=, == !=)
    logic  && and || swapped
    neg    a condition (if, while, for, do, ?:) negated
    inc    an integer constant + 1          dec  the same - 1 (not below 0)
    call   a call statement removed (the call becomes (void)0)
    ret    an early return inserted (at the start of a function or loop body)
    arg    an argument replaced by 0 (numbers) or nullptr (pointers)

Areas: every point belongs to one, by what the linker put into orbwick.dll
(the release build's map, build/win32/product/daemon/orbwick.map).
    dll        the code linked into orbwick.dll: the sources whose objects the
               map names, and in a header the functions, variables and fields
               that their code reaches (names, directly or through other code
               of the headers; a class named brings its constructors,
               destructor, fields and own operator new and delete; a header's
               code outside any of these goes with the sources that include
               the header)
    reference  the product's other code: the general configuration reader
               (cfgfile/cfgfile.cpp and what only it reaches), the fuzzers'
               and tests' reference, not linked into the DLL
    kit        the test kit's runner (packaging/test-kit/)
    native     the native stand-ins (*_native.cpp) and what only they reach,
               built only for the native tests
Each point lists the sources whose code holds it (its units), so the areas
follow the map without listing the points again.

Usage (from mutants.sh; paths relative to the tree's root):
    mutation_points.py list <root> <points-file>       every point, tab-separated
                       (kept while the product's files and this script stay the same)
    mutation_points.py linked <product-tree> <root>     the sources linked into
                       orbwick.dll, from the map and compile commands of that tree
    mutation_points.py sample <points-file> <seed> <n> <area> <linked> <root> [<rev>]
                       n points of the area (dll, reference, kit, native or all)
                       drawn uniformly; with rev only those on lines changed since
                       that git revision (git diff rev, the tree as it is)
    mutation_points.py summary <points-file> <area> <linked> <root> [<rev>]
                       "area A: P points over F files" for each area, then
                       "mutation points: P over F files (area A...)", what the
                       sample draws from
    mutation_points.py apply <points-file> <id> <tree>  the edit, in place
    mutation_points.py entry <points-file> <root> <id>  the start of an equivalent
                       entry for the point: id, line text, original, replacement
    mutation_points.py equivalent <points-file> <root> <list>
                       each entry of the equivalent list: "ok", "stale" (the point
                       of its id is now another edit, or its line text differs) or
                       "unknown" (no such point), with its id, its reason and what
                       differs
    mutation_points.py command <build-tree> <test>      how CTest runs the test, as
                       one shell line (its folder, environment and command), so
                       that the caller sets its own time limit
    mutation_points.py covermap <counts> <tree> <map>   the coverage map of
                       the counts each test program left under <counts>/<kind>/<name>
    mutation_points.py tests <map> <timings> <file> <line>  the tests to run
                       for a line ("kind name", cheapest first)
"""

import glob
import json
import hashlib
import os
import random
import re
import subprocess
import sys

# The product's own sources: the daemon and its units, and the kit runner.
SOURCE_GLOBS = [
    "daemon/*.cpp", "daemon/*.h",
    "cfgfile/*.cpp", "cfgfile/*.h", "cfgfile/internal/*.cpp", "cfgfile/internal/*.h",
    "hostif/*.cpp", "hostif/*.h",
    "sysutils/*.cpp", "sysutils/*.h",
    "packaging/test-kit/*.cpp", "packaging/test-kit/*.h",
]
# The include folders every unit is built with (as in the build trees).
INCLUDE_DIRS = ["daemon", "hostif", "sysutils", "cfgfile", "packaging/test-kit"]
MINGW_CXX = "i686-w64-mingw32-g++-win32"

RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
LOGICAL = {"&&": "||", "||": "&&"}


def fail(message):
    sys.stderr.write("mutation_points: %s\n" % message)
    sys.exit(2)


def load_clang():
    try:
        import clang.cindex as cindex
    except ImportError:
        fail("python3-clang is missing (scripts/bootstrap.sh installs it)")
    for name in ("libclang-14.so.1", "libclang-14.so", "libclang.so"):
        for folder in ("/usr/lib/x86_64-linux-gnu", "/usr/lib/llvm-14/lib"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                cindex.Config.set_library_file(path)
                return cindex
    return cindex


def system_include_dirs(compiler):
    """The compiler's own #include <...> folders, as it reports them."""
    result = subprocess.run([compiler, "-E", "-x", "c++", "-v", "-"], input="", capture_output=True, text=True)
    dirs, inside = [], False
    for line in result.stderr.splitlines():
        if line.startswith("#include <...> search starts here"):
            inside = True
        elif line.startswith("End of search list"):
            break
        elif inside:
            dirs.append(os.path.normpath(line.strip()))
    if not dirs:
        fail("%s reported no include folders" % compiler)
    return dirs


def parse_args(root, path):
    """Flags close to the build trees': C++17, the units' include folders, and
    for the Win32 sources the mingw target with mingw's own headers."""
    args = ["-x", "c++", "-std=c++17"] + ["-I" + os.path.join(root, d) for d in INCLUDE_DIRS]
    if path.endswith("_native.cpp"):
        return args
    args = ["--target=i686-w64-mingw32", "-nostdinc", "-nostdinc++", "-D_WIN32"] + args
    for d in system_include_dirs(MINGW_CXX):
        args.append("-isystem" + d)
    return args


def product_files(root):
    files = set()
    for pattern in SOURCE_GLOBS:
        files.update(os.path.relpath(p, root) for p in glob.glob(os.path.join(root, pattern)))
    return sorted(files)


class Enumerator:
    def __init__(self, cindex, root, files):
        self.ci = cindex
        self.K = cindex.CursorKind
        self.T = cindex.TypeKind
        self.root = root
        self.files = set(files)
        self.text = {}
        self.points = {}  # (file, start, end, replacement) -> point
        self.entities = {}  # header -> extents (file, start, end) of its definitions
        self.reached = {}  # source -> the header extents its code reaches
        self.included = {}  # source -> the product headers it includes

    def content(self, rel):
        if rel not in self.text:
            with open(os.path.join(self.root, rel), "rb") as f:
                self.text[rel] = f.read()
        return self.text[rel]

    def rel_file(self, location):
        if location.file is None:
            return None
        rel = os.path.relpath(os.path.realpath(location.file.name), self.root)
        return rel if rel in self.files else None

    def span(self, cursor):
        """(file, start, end) of a cursor written in one product file."""
        extent = cursor.extent
        rel = self.rel_file(extent.start)
        if rel is None or self.rel_file(extent.end) != rel:
            return None
        start, end = extent.start.offset, extent.end.offset
        if end <= start:
            return None
        return rel, start, end

    def add(self, rel, start, end, replacement, op, scope):
        original = self.content(rel)[start:end].decode("latin-1")
        if original == replacement:
            return
        key = (rel, start, end, replacement)
        if key not in self.points:
            self.points[key] = {"file": rel, "start": start, "end": end, "original": original,
                                "replacement": replacement, "op": op,
                                # an id is one word ("operator delete" too)
                                "scope": scope.replace(" ", "_")}

    # -- the walk ---------------------------------------------------------

    def walk(self, cursor, scope, return_kind):
        K = self.K
        kind = cursor.kind
        if kind == K.STATIC_ASSERT:
            return  # a check of the build, not code of the product
        if kind in (K.FUNCTION_DECL, K.CXX_METHOD, K.CONSTRUCTOR, K.DESTRUCTOR, K.FUNCTION_TEMPLATE,
                    K.CONVERSION_FUNCTION):
            scope = cursor.spelling or scope
            return_kind = self.return_kind(cursor)
            self.early_return_at_body(cursor, scope, return_kind)
        elif kind == K.LAMBDA_EXPR:
            return_kind = None  # a deduced return type: no early return
        elif kind == K.VAR_DECL and cursor.semantic_parent is not None and \
                cursor.semantic_parent.kind in (K.TRANSLATION_UNIT, K.NAMESPACE, K.STRUCT_DECL, K.CLASS_DECL):
            scope = cursor.spelling or scope
        if kind in (K.FUNCTION_DECL, K.CXX_METHOD, K.CONSTRUCTOR, K.DESTRUCTOR) or kind.is_expression() or \
                kind.is_statement():
            if self.span(cursor) is not None:
                self.visit(cursor, scope, return_kind)
        for child in cursor.get_children():
            location = child.location
            if location.file is not None and self.rel_file(location) is None and \
                    child.kind not in (K.UNEXPOSED_EXPR,):
                continue  # system headers and other files
            self.walk(child, scope, return_kind)

    def return_kind(self, function):
        T = self.T
        if function.kind in (self.K.CONSTRUCTOR, self.K.DESTRUCTOR):
            return "void"
        kind = function.result_type.get_canonical().kind
        if kind == T.VOID:
            return "void"
        if kind in (T.LVALUEREFERENCE, T.RVALUEREFERENCE, T.AUTO, T.INVALID, T.UNEXPOSED):
            return None
        return "value"

    def visit(self, cursor, scope, return_kind):
        K = self.K
        kind = cursor.kind
        if kind == K.BINARY_OPERATOR:
            self.binary(cursor, scope)
        elif kind == K.INTEGER_LITERAL:
            self.constant(cursor, scope)
        elif kind == K.CALL_EXPR:
            self.arguments(cursor, scope)
        elif kind in (K.IF_STMT, K.WHILE_STMT, K.FOR_STMT, K.DO_STMT):
            self.condition(cursor, scope)
            if kind != K.IF_STMT:
                self.early_return_in_loop(cursor, scope, return_kind)
        elif kind == K.CXX_FOR_RANGE_STMT:
            self.early_return_in_loop(cursor, scope, return_kind)
        elif kind == K.CONDITIONAL_OPERATOR:
            children = list(cursor.get_children())
            if len(children) == 3:
                self.negate(children[0], scope)
        if kind == K.COMPOUND_STMT or kind in (K.IF_STMT, K.WHILE_STMT, K.FOR_STMT, K.DO_STMT):
            self.call_statements(cursor, scope)

    def binary(self, cursor, scope):
        children = list(cursor.get_children())
        if len(children) != 2:
            return
        left, right = self.span(children[0]), self.span(children[1])
        whole = self.span(cursor)
        if left is None or right is None or whole is None or left[0] != whole[0] or right[0] != whole[0]:
            return
        rel, gap_start, gap_end = whole[0], left[2], right[1]
        if gap_end <= gap_start:
            return
        gap = self.content(rel)[gap_start:gap_end].decode("latin-1")
        token = gap.strip()
        if token in RELATIONAL:
            start = gap_start + gap.index(token)
            self.add(rel, start, start + len(token), RELATIONAL[token], "rel", scope)
        elif token in LOGICAL:
            # The whole expression, its operands in parentheses: the swapped
            # operator keeps the grouping it had (a && b || c would not
            # build under -Wparentheses).
            text = self.content(rel)
            operand = lambda a, b: text[a:b].decode("latin-1")
            self.add(rel, whole[1], whole[2], "(%s) %s (%s)" % (operand(whole[1], left[2]), LOGICAL[token],
                                                               operand(right[1], whole[2])), "logic", scope)

    LITERAL = re.compile(r"^(0[xX][0-9a-fA-F']+|0[bB][01']+|0[0-7']*|[1-9][0-9']*)([uUlL]*)$")

    def constant(self, cursor, scope):
        where = self.span(cursor)
        if where is None:
            return
        rel, start, end = where
        text = self.content(rel)[start:end].decode("latin-1")
        match = self.LITERAL.match(text)
        if not match:
            return  # a macro or anything else not written as a number here
        digits, suffix = match.group(1).replace("'", ""), match.group(2)
        value = int(digits, 0) if not re.match(r"^0[0-7]+$", digits) else int(digits, 8)
        hexadecimal = digits[:2].lower() == "0x"
        for op, changed in (("inc", value + 1), ("dec", value - 1)):
            if changed < 0:
                continue
            written = ("0x%X" % changed if hexadecimal else str(changed)) + suffix
            self.add(rel, start, end, written, op, scope)

    INTEGERS = None

    def arguments(self, cursor, scope):
        T = self.T
        if self.INTEGERS is None:
            Enumerator.INTEGERS = {T.BOOL, T.CHAR_U, T.UCHAR, T.CHAR16, T.CHAR32, T.USHORT, T.UINT, T.ULONG,
                                   T.ULONGLONG, T.CHAR_S, T.SCHAR, T.WCHAR, T.SHORT, T.INT, T.LONG, T.LONGLONG}
        name = cursor.spelling or ""
        if name.startswith("operator") or cursor.referenced is None or \
                cursor.referenced.kind == self.K.CONSTRUCTOR:
            return
        for argument in cursor.get_arguments():
            where = self.span(argument)
            if where is None:
                continue
            rel, start, end = where
            text = self.content(rel)[start:end].decode("latin-1").strip()
            kind = argument.type.get_canonical().kind
            if kind == T.POINTER:
                replacement = "nullptr"
            elif kind in self.INTEGERS:
                replacement = "0"
            else:
                continue
            if text in ("0", "nullptr", "NULL", "false", "0u", "0U"):
                continue
            self.add(rel, start, end, replacement, "arg", scope)

    def condition(self, cursor, scope):
        """The controlling expression: inside the statement's parentheses,
        after its last top-level ';' (the for statement's: between its two)."""
        tokens = list(cursor.get_tokens())
        open_at = None
        for i, token in enumerate(tokens):
            if token.spelling == "(":
                open_at = i
                break
        if cursor.kind == self.K.DO_STMT:
            # do body while (cond); the last parenthesised group.
            closes = [i for i, t in enumerate(tokens) if t.spelling == ")"]
            if not closes:
                return
            depth, open_at = 0, None
            for i in range(closes[-1], -1, -1):
                depth += {")": 1, "(": -1}.get(tokens[i].spelling, 0)
                if depth == 0:
                    open_at = i
                    break
        if open_at is None:
            return
        depth, separators, close_at = 0, [], None
        for i in range(open_at, len(tokens)):
            spelling = tokens[i].spelling
            if spelling in ("(", "[", "{"):
                depth += 1
            elif spelling in (")", "]", "}"):
                depth -= 1
                if depth == 0:
                    close_at = i
                    break
            elif spelling == ";" and depth == 1:
                separators.append(i)
        if close_at is None:
            return
        low = tokens[separators[-1] if cursor.kind != self.K.FOR_STMT else separators[0]].extent.end.offset \
            if separators else tokens[open_at].extent.end.offset
        high = tokens[separators[1]].extent.start.offset if cursor.kind == self.K.FOR_STMT and \
            len(separators) == 2 else tokens[close_at].extent.start.offset
        if cursor.kind == self.K.FOR_STMT and len(separators) != 2:
            return
        for child in cursor.get_children():
            if not child.kind.is_expression():
                continue
            where = self.span(child)
            if where is not None and where[1] >= low and where[2] <= high:
                self.negate(child, scope)
                return

    def negate(self, expression, scope):
        where = self.span(expression)
        if where is None:
            return
        rel, start, end = where
        text = self.content(rel)[start:end].decode("latin-1")
        self.add(rel, start, end, "!(" + text + ")", "neg", scope)

    def is_call(self, cursor):
        K = self.K
        while cursor.kind == K.UNEXPOSED_EXPR:
            children = list(cursor.get_children())
            if len(children) != 1 or children[0].extent != cursor.extent:
                return False
            cursor = children[0]
        return cursor.kind == K.CALL_EXPR and cursor.referenced is not None and \
            cursor.referenced.kind != K.CONSTRUCTOR

    def call_statements(self, cursor, scope):
        K = self.K
        children = list(cursor.get_children())
        if cursor.kind != K.COMPOUND_STMT:
            # A single statement as the body of if, else or a loop.
            children = [c for c in children if c.kind.is_expression()][-1:] if cursor.kind != K.IF_STMT else \
                children[-2:]
        for child in children:
            if child.kind.is_expression() and self.is_call(child):
                where = self.span(child)
                if where is None:
                    continue
                rel, start, end = where
                following = self.content(rel)[end:end + 64].decode("latin-1").lstrip()
                if following.startswith(";"):
                    self.add(rel, start, end, "(void)0", "call", scope)

    def insert_return(self, body, scope, return_kind):
        if return_kind is None or body.kind != self.K.COMPOUND_STMT:
            return
        where = self.span(body)
        if where is None:
            return
        rel, start, _ = where
        if self.content(rel)[start:start + 1] != b"{":
            return
        statement = "return;" if return_kind == "void" else "return {};"
        # An insertion: the opening brace replaced by itself and the return.
        self.add(rel, start, start + 1, "{ " + statement, "ret", scope)

    def early_return_at_body(self, function, scope, return_kind):
        if not function.is_definition():
            return
        for child in function.get_children():
            if child.kind == self.K.COMPOUND_STMT:
                self.insert_return(child, scope, return_kind)

    def early_return_in_loop(self, loop, scope, return_kind):
        children = list(loop.get_children())
        bodies = children[:1] if loop.kind == self.K.DO_STMT else children[-1:]
        for body in bodies:
            self.insert_return(body, scope, return_kind)

    # -- which header code each source's own code reaches ------------------

    ENTITY_KINDS = None

    def reach(self, unit, rel):
        """The code of product headers that source rel's own code reaches in
        its translation unit: the functions, variables, enum constants and
        fields of the headers that its code refers to, and what their code in
        turn refers to; a class named anywhere brings its constructors, its
        destructor, its own operator new and delete and its fields. Kept as
        self.reached[rel] (extents), and the headers it includes as
        self.included[rel]."""
        K = self.K
        if self.ENTITY_KINDS is None:
            Enumerator.ENTITY_KINDS = {K.FUNCTION_DECL, K.CXX_METHOD, K.CONSTRUCTOR, K.DESTRUCTOR,
                                       K.FUNCTION_TEMPLATE, K.CONVERSION_FUNCTION, K.VAR_DECL,
                                       K.ENUM_CONSTANT_DECL, K.FIELD_DECL}
        lib = self.ci.conf.lib
        edges = {}  # entity extent -> extents it refers to
        roots = set()

        def header_extent(cursor):
            where = self.span(cursor)
            return where if where is not None and not where[0].endswith(".cpp") else None

        def definition(cursor):
            pattern = lib.clang_getSpecializedCursorTemplate(cursor)
            if pattern is not None and not pattern.kind.is_invalid():
                cursor = pattern
            found = cursor.get_definition()
            return found if found is not None else cursor

        def targets(cursor):
            if cursor.kind == K.OVERLOADED_DECL_REF:
                # A call in a template that depends on its parameters: every
                # function of that name it may call.
                named = [lib.clang_getOverloadedDecl(cursor, i) for i in range(lib.clang_getNumOverloadedDecls(cursor))]
            else:
                named = [cursor.referenced] if cursor.referenced is not None else []
            found = []
            for target in named:
                if target.kind in (K.STRUCT_DECL, K.CLASS_DECL, K.CLASS_TEMPLATE):
                    members = [c for c in definition(target).get_children()
                               if c.kind in (K.CONSTRUCTOR, K.DESTRUCTOR, K.FIELD_DECL) or
                               c.spelling.startswith(("operator new", "operator delete"))]
                    found += [e for e in map(header_extent, members) if e is not None]
                elif target.kind in self.ENTITY_KINDS:
                    extent = header_extent(definition(target))
                    found += [extent] if extent is not None else []
            return found

        def visit(cursor, owner):
            if cursor.kind in self.ENTITY_KINDS:
                extent = header_extent(cursor)
                if extent is not None and cursor.is_definition():
                    self.entities.setdefault(extent[0], set()).add(extent)
                    owner = extent
                    edges.setdefault(owner, set())
            if cursor.kind in (K.DECL_REF_EXPR, K.MEMBER_REF_EXPR, K.CALL_EXPR, K.MEMBER_REF, K.TYPE_REF,
                               K.TEMPLATE_REF, K.OVERLOADED_DECL_REF):
                if owner is not None:
                    edges.setdefault(owner, set()).update(targets(cursor))
                elif self.rel_file(cursor.location) == rel:
                    roots.update(targets(cursor))
            for child in cursor.get_children():
                if child.location.file is not None and self.rel_file(child.location) is None:
                    continue
                visit(child, owner)

        # What the source's own code names is reached; what a header names
        # outside any definition (a declaration's parameter types) is not.
        for child in unit.cursor.get_children():
            if child.location.file is not None and self.rel_file(child.location) is None:
                continue
            visit(child, None)
        reached, queue = set(), list(roots)
        while queue:
            extent = queue.pop()
            if extent not in reached:
                reached.add(extent)
                queue.extend(edges.get(extent, ()))
        self.reached[rel] = reached
        headers = (os.path.relpath(os.path.realpath(i.include.name), self.root) for i in unit.get_includes())
        self.included[rel] = {h for h in headers if h in self.files}

    def units_of(self, point):
        """The sources whose code holds the point: its own file for a source;
        for a header, those that reach the innermost function, variable or
        field around it, or (outside any) those that include the header."""
        rel = point["file"]
        if rel.endswith(".cpp"):
            return [rel]
        around = [e for e in self.entities.get(rel, ()) if e[1] <= point["start"] and point["end"] <= e[2]]
        if around:
            inner = min(around, key=lambda e: e[2] - e[1])
            return sorted(u for u, reached in self.reached.items() if inner in reached)
        return sorted(u for u, headers in self.included.items() if rel in headers)

    def run(self):
        index = self.ci.Index.create()
        for rel in sorted(self.files):
            if not rel.endswith(".cpp"):
                continue
            path = os.path.join(self.root, rel)
            unit = index.parse(path, args=parse_args(self.root, rel))
            errors = [d for d in unit.diagnostics if d.severity >= self.ci.Diagnostic.Error]
            if errors:
                fail("%s does not parse: %s" % (rel, "; ".join(str(e) for e in errors[:3])))
            self.walk(unit.cursor, "-", None)
            self.reach(unit, rel)
        return self.numbered()

    def numbered(self):
        points = sorted(self.points.values(), key=lambda p: (p["file"], p["start"], p["end"], p["replacement"]))
        counters = {}
        for p in points:
            stem = re.sub(r"\.(cpp|h)$", "", p["file"])
            key = (stem, p["scope"], p["op"])
            counters[key] = counters.get(key, 0) + 1
            p["id"] = "%s:%s:%s%d" % (stem, p["scope"], p["op"], counters[key])
            p["line"] = self.content(p["file"])[:p["start"]].count(b"\n") + 1
            p["units"] = ",".join(self.units_of(p))
        return points


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "n": "\n"}.get(m.group(1), m.group(1)), text)


FIELDS = ["id", "file", "line", "start", "end", "op", "original", "replacement", "units"]


def write_points(points, out):
    for p in points:
        out.write("\t".join(escape(str(p[f])) for f in FIELDS) + "\n")


def read_points(path):
    points = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            values = [unescape(v) for v in line.rstrip("\n").split("\t")]
            points.append(dict(zip(FIELDS, values)))
    return points


def list_points(root, points_file):
    files = product_files(root)
    stamp = hashlib.sha256()
    for rel in [os.path.relpath(os.path.realpath(__file__), root)] + files:
        with open(os.path.join(root, rel), "rb") as f:
            stamp.update(rel.encode() + b"\0" + f.read())
    stamp_file = points_file + ".stamp"
    if os.path.exists(points_file) and os.path.exists(stamp_file):
        with open(stamp_file) as f:
            if f.read().strip() == stamp.hexdigest():
                return
    points = Enumerator(load_clang(), root, files).run()
    with open(points_file + ".tmp", "w", encoding="latin-1") as out:
        write_points(points, out)
    os.replace(points_file + ".tmp", points_file)
    with open(stamp_file, "w") as f:
        f.write(stamp.hexdigest() + "\n")


AREAS = ("dll", "reference", "kit", "native")

PRODUCT_MAP = "daemon/orbwick.map"


def linked_sources(product, root):
    """The sources whose objects the linker put into orbwick.dll: the
    objects and archive members its map (<product>/daemon/orbwick.map, the
    release build's) names, each traced to its source through the compile
    commands of that build (the object's name, in the folder of the archive
    it came from)."""
    map_file = os.path.join(product, PRODUCT_MAP)
    commands_file = os.path.join(product, "compile_commands.json")
    for path in (map_file, commands_file):
        if not os.path.exists(path):
            fail("no %s: build the DLL (cmake --preset win32 && cmake --build --preset win32 --target "
                 "orbwick; when the DLL is there but not its map, remove build/win32/product first)" % path)
    link_dir = os.path.dirname(map_file)
    objects = []  # (folder the object or its archive lies in, object name)
    with open(map_file, encoding="latin-1") as f:
        for line in f:
            member = re.match(r"^(\S+\.a)\((\S+\.obj)\)\s*$", line)
            loaded = re.match(r"^LOAD (\S+\.obj)\s*$", line)
            if member:
                objects.append((os.path.dirname(os.path.normpath(os.path.join(link_dir, member.group(1)))),
                                member.group(2)))
            elif loaded:
                path = os.path.normpath(os.path.join(link_dir, loaded.group(1)))
                objects.append((os.path.dirname(path), os.path.basename(path)))
    compiled = []  # (build folder, object name, source)
    with open(commands_file) as f:
        for entry in json.load(f):
            output = re.search(r"(?:^|\s)-o\s+(\S+)", entry.get("command", ""))
            if output:
                compiled.append((os.path.normpath(entry["directory"]), os.path.basename(output.group(1)),
                                 os.path.relpath(os.path.realpath(entry["file"]), root)))
    linked = set()
    for folder, name in objects:
        sources = {s for d, o, s in compiled if o == name and (folder + "/").startswith(d + "/")}
        if len(sources) != 1:
            fail("%s: the object %s in %s comes from %s" % (map_file, name, folder,
                                                            " and ".join(sorted(sources)) or "no source compiled"))
        linked |= sources
    if not any(s.startswith("daemon/") for s in linked):
        fail("%s names no object of daemon/: not the map of orbwick.dll" % map_file)
    return sorted(linked)


def read_lines(path):
    with open(path) as f:
        return {line.strip() for line in f if line.strip()}


def area_of(point, linked):
    """dll: code of a source linked into orbwick.dll, or of a header that
    such a source's code reaches (see Enumerator.reach); reference: the
    product's other code (the general configuration reader, which the
    fuzzers and tests compare against); kit: the test kit's runner; native:
    the native stand-ins and what only they reach."""
    rel = point["file"]
    if rel.startswith("packaging/test-kit/"):
        return "kit"
    units = [u for u in point.get("units", "").split(",") if u]
    if any(u in linked for u in units):
        return "dll"
    if re.search(r"_native\.(cpp|h)$", rel) or units and all(re.search(r"_native\.cpp$", u) for u in units):
        return "native"
    return "reference"


def changed_lines(root, rev, files):
    """(file, line) of every line of the tree as it is that differs from
    revision rev, or that is in a file git does not know."""
    result = subprocess.run(["git", "-C", root, "diff", "--no-color", "--no-ext-diff", "-U0", rev, "--"] + files,
                            capture_output=True, text=True, encoding="latin-1")
    if result.returncode != 0:
        fail("git diff %s: %s" % (rev, result.stderr.strip()))
    changed, current = set(), None
    for line in result.stdout.splitlines():
        if line.startswith("+++ "):
            current = line[6:] if line.startswith("+++ b/") else None
        hunk = re.match(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", line)
        if hunk and current:
            first, count = int(hunk.group(1)), int(hunk.group(2) or 1)
            changed.update((current, n) for n in range(first, first + count))
    untracked = subprocess.run(["git", "-C", root, "ls-files", "--others", "--exclude-standard", "--"] + files,
                               capture_output=True, text=True).stdout.split()
    for rel in untracked:
        with open(os.path.join(root, rel), "rb") as f:
            changed.update((rel, n) for n in range(1, f.read().count(b"\n") + 2))
    return changed


def on_changed_lines(points, root, rev):
    """The points whose edit touches a line changed since rev."""
    changed = changed_lines(root, rev, sorted({p["file"] for p in points}))
    return [p for p in points
            if any((p["file"], n) in changed
                   for n in range(int(p["line"]), int(p["line"]) + p["original"].count("\n") + 1))]


def chosen(points, area, linked, root=None, since=None):
    """The points of the area (all: every one), only those on lines changed
    since revision since when it is given."""
    points = [p for p in points if area == "all" or area_of(p, linked) == area]
    return on_changed_lines(points, root, since) if since else points


def draw(points, seed, n):
    """n of the points drawn uniformly without replacement, the same for the
    same seed and list of points."""
    ordered = sorted(points, key=lambda p: p["id"])
    return random.Random(int(seed)).sample(ordered, min(int(n), len(ordered)))


def summary(points, area, linked, root, since):
    """One line per area, then the points the sample draws from."""
    lines = []
    for name in AREAS:
        of_area = [p for p in points if area_of(p, linked) == name]
        lines.append("area %s: %d points over %d files" % (name, len(of_area), len({p["file"] for p in of_area})))
    whole = chosen(points, area, linked)
    files = lambda ps: len({p["file"] for p in ps})
    if since:
        left = on_changed_lines(whole, root, since)
        lines.append("mutation points: %d over %d files (area %s, on lines changed since %s; of %d over %d files)"
                     % (len(left), files(left), area, since, len(whole), files(whole)))
    else:
        lines.append("mutation points: %d over %d files (area %s)" % (len(whole), files(whole), area))
    return "\n".join(lines)


def line_text(root, point):
    """The text of the line a point starts on, its blanks collapsed."""
    with open(os.path.join(root, point["file"]), "rb") as f:
        lines = f.read().decode("latin-1").split("\n")
    number = int(point["line"])
    return " ".join(lines[number - 1].split()) if 0 < number <= len(lines) else ""


def collapsed(text):
    return " ".join(text.split())


EQUIVALENT_FIELDS = "<id> TAB <line text> TAB <original> TAB <replacement> TAB <reason>"


def read_equivalent(path):
    """The entries of the equivalent list: (id, line text, original,
    replacement, reason), one a line, tab-separated, texts with their blanks
    collapsed; lines starting with # are comments."""
    entries = []
    with open(path, encoding="latin-1") as f:
        for number, row in enumerate(f, 1):
            row = row.rstrip("\n")
            if not row.strip() or row.startswith("#"):
                continue
            fields = row.split("\t")
            if len(fields) != 5 or not all(f.strip() for f in fields):
                fail("%s:%d: not %s" % (path, number, EQUIVALENT_FIELDS))
            entries.append(tuple(collapsed(f) for f in fields))
    return entries


def pinned(point, points):
    """The original and replacement an equivalent entry names for the point:
    the original followed by " @k" when the same edit fits k-th of several
    places on its line (the ordinal of the id alone could then name another
    of them)."""
    key = lambda p: (p["file"], p["line"], collapsed(p["original"]), collapsed(p["replacement"]))
    same = sorted((p for p in points if key(p) == key(point)), key=lambda p: int(p["start"]))
    original = collapsed(point["original"])
    if len(same) > 1:
        original += " @%d" % (1 + [p["id"] for p in same].index(point["id"]))
    return original, collapsed(point["replacement"])


def check_equivalent(points_file, root, list_file):
    """Per entry: its state (ok; stale: the point of its id is another
    mutant now, or on another line; unknown: no such point), its id, its
    reason and what no longer matches."""
    points = read_points(points_file)
    by_id = {p["id"]: p for p in points}
    for point_id, text, original, replacement, reason in read_equivalent(list_file):
        point = by_id.get(point_id)
        if point is None:
            print("unknown\t%s\t%s\tno such point" % (point_id, reason))
            continue
        now = line_text(root, point)
        mutant = pinned(point, [p for p in points if p["file"] == point["file"]])
        if mutant != (original, replacement):
            print("stale\t%s\t%s\tthe point is now %s -> %s" % (point_id, reason, mutant[0], mutant[1]))
        elif now != text:
            print("stale\t%s\t%s\tits line now: %s" % (point_id, reason, now))
        else:
            print("ok\t%s\t%s\t" % (point_id, reason))


def apply(points_file, wanted, tree):
    for p in read_points(points_file):
        if p["id"] == wanted:
            path = os.path.join(tree, p["file"])
            with open(path, "rb") as f:
                data = f.read()
            start, end = int(p["start"]), int(p["end"])
            if data[start:end].decode("latin-1") != p["original"]:
                fail("%s: %s no longer holds %r" % (wanted, p["file"], p["original"]))
            with open(path, "wb") as f:
                f.write(data[:start] + p["replacement"].encode("latin-1") + data[end:])
            return
    fail("no point %s" % wanted)


GCOV = {"win32": "i686-w64-mingw32-gcov-win32", "kit": "i686-w64-mingw32-gcov-win32", "native": "gcov"}


def gcov_lines(kind, folder, names):
    """(source, line, count) of the gcov JSON for the counts files in folder."""
    result = subprocess.run([GCOV[kind], "--json-format", "--stdout"] + names, cwd=folder,
                            capture_output=True, text=True)
    for text in result.stdout.splitlines():
        text = text.strip()
        if not text.startswith("{"):
            continue
        document = json.loads(text)
        base = document.get("current_working_directory", folder)
        for entry in document.get("files", []):
            source = os.path.normpath(os.path.join(base, entry["file"]))
            for line in entry.get("lines", []):
                yield source, line["line_number"], line["count"]


RELEASE_SOURCE_DIR = "/orbwick"


def cover_map(counts, tree, map_file):
    """For every line of the product that has code: the tests that run it."""
    tree = os.path.realpath(tree)
    product = set(product_files(tree))
    executed = {}  # (file, line) -> set of "kind/name"
    for kind in sorted(GCOV):
        for name in sorted(os.listdir(os.path.join(counts, kind))) if os.path.isdir(os.path.join(counts, kind)) else []:
            prefix = os.path.join(counts, kind, name)
            folders = {}
            for folder, _, files in os.walk(prefix):
                for f in files:
                    if f.endswith(".gcda"):
                        folders.setdefault(folder, []).append(f)
            for folder, files in folders.items():
                # The counts were written where the object lies, under the
                # prefix; gcov wants the notes file of the build beside them.
                original = "/" + os.path.relpath(folder, prefix)
                for f in files:
                    notes = os.path.join(original, f[:-5] + ".gcno")
                    if os.path.exists(notes):
                        subprocess.run(["cp", notes, folder])
                for source, line, count in gcov_lines(kind, folder, sorted(files)):
                    # The DLL's own tree names its sources as /orbwick/...
                    # (cmake/release.cmake), the others by their real path.
                    if source.startswith(RELEASE_SOURCE_DIR + "/"):
                        rel = source[len(RELEASE_SOURCE_DIR) + 1:]
                    else:
                        rel = os.path.relpath(source, tree)
                    if rel not in product:
                        continue
                    tests = executed.setdefault((rel, line), set())
                    if count > 0:
                        tests.add("%s/%s" % (kind, name))
    with open(map_file + ".tmp", "w") as out:
        for (rel, line) in sorted(executed):
            out.write("%s\t%d\t%s\n" % (rel, line, ",".join(sorted(executed[(rel, line)]))))
    os.replace(map_file + ".tmp", map_file)


def tests_for(map_file, timings_file, rel, line):
    """The passing tests that execute the line, cheapest first. A line
    without code of its own (a constant, a declaration) takes those of every
    line of its file, and a file without code every test."""
    cost, passing = {}, set()
    with open(timings_file) as f:
        for row in f:
            kind, name, seconds, status = row.rstrip("\n").split("\t")
            cost["%s/%s" % (kind, name)] = int(seconds)
            if status == "pass":
                passing.add("%s/%s" % (kind, name))
    at_line, in_file, anywhere, has_code = set(), set(), set(), False
    with open(map_file) as f:
        for row in f:
            file, number, tests = row.rstrip("\n").split("\t")
            names = set(tests.split(",")) - {""}
            anywhere |= names
            if file != rel:
                continue
            in_file |= names
            if int(number) == int(line):
                has_code = True
                at_line |= names
    # A header of constants alone (no line of code in any test): every test.
    chosen = (at_line if has_code else in_file or anywhere) & passing
    for test in sorted(chosen, key=lambda t: (cost.get(t, 0), t)):
        print(test.replace("/", " ", 1))


def test_command(build, name):
    """The shell line that runs CTest test name of the build tree as CTest
    would, without the test's own TIMEOUT (read from CTest's JSON listing)."""
    listing = subprocess.run(["ctest", "--test-dir", build, "-N", "--show-only=json-v1"], capture_output=True,
                             text=True, check=True).stdout
    for test in json.loads(listing)["tests"]:
        if test["name"] != name or "command" not in test:
            continue
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        quote = lambda word: "'" + str(word).replace("'", "'\\''") + "'"
        line = "cd %s && exec " % quote(properties.get("WORKING_DIRECTORY", build))
        environment = properties.get("ENVIRONMENT", [])
        if environment:
            line += "env " + " ".join(quote(e) for e in environment) + " "
        print(line + " ".join(quote(word) for word in test["command"]))
        return
    fail("no test %s in %s" % (name, build))


def main(argv):
    if len(argv) == 3 and argv[0] == "list":
        list_points(os.path.realpath(argv[1]), argv[2])
    elif len(argv) in (7, 8) and argv[0] == "sample" and argv[4] in AREAS + ("all",):
        points = chosen(read_points(argv[1]), argv[4], read_lines(argv[5]), argv[6], (argv[7:] or [""])[0])
        write_points(draw(points, argv[2], argv[3]), sys.stdout)
    elif len(argv) == 3 and argv[0] == "linked":
        print("\n".join(linked_sources(os.path.realpath(argv[1]), os.path.realpath(argv[2]))))
    elif len(argv) == 3 and argv[0] == "command":
        test_command(argv[1], argv[2])
    elif len(argv) == 4 and argv[0] == "entry":
        points = read_points(argv[1])
        point = next((p for p in points if p["id"] == argv[3]), None) or fail("no point %s" % argv[3])
        print("\t".join((point["id"], line_text(argv[2], point)) +
                        pinned(point, [p for p in points if p["file"] == point["file"]])) + "\t")
    elif len(argv) == 4 and argv[0] == "equivalent":
        check_equivalent(argv[1], argv[2], argv[3])
    elif len(argv) == 4 and argv[0] == "apply":
        apply(argv[1], argv[2], argv[3])
    elif len(argv) == 4 and argv[0] == "covermap":
        cover_map(argv[1], argv[2], argv[3])
    elif len(argv) == 5 and argv[0] == "tests":
        tests_for(argv[1], argv[2], argv[3], argv[4])
    elif len(argv) in (5, 6) and argv[0] == "summary" and argv[2] in AREAS + ("all",):
        print(summary(read_points(argv[1]), argv[2], read_lines(argv[3]), argv[4], (argv[5:] or [""])[0]))
    else:
        fail("usage: see the head of this file")


if __name__ == "__main__":
    main(sys.argv[1:])
