"""The mutants of a C++ source file: small slips of the kind a developer
makes, each a single change that still reads as plausible code.

The file is first masked: comments, preprocessor lines and static_assert are
blanked out and literals down to their quotes (offsets kept), so no rule ever
fires inside them. The rules then work on the masked text and are
deliberately conservative: an operator counts only between spaces (so template
brackets, -> and << never match), a statement only where one plainly starts,
a swap only between arguments that are plainly of one kind."""

import random
import re
from dataclasses import dataclass


@dataclass(frozen=True)
class Mutant:
    path: str
    line: int
    start: int
    end: int
    replacement: str
    before: str  # the touched lines, whitespace collapsed
    after: str

    def apply(self, text):
        return text[:self.start] + self.replacement + text[self.end:]


def mask(text):
    """Returns (masked text, {start: (end, kind)} of string and char literals).
    A literal is masked to its quotes with blanks between."""
    out = list(text)
    literals = {}
    i, n = 0, len(text)
    line_start = True

    def blank(a, b, quoted=False):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = " "
        if quoted:  # a literal keeps its ends, so an argument can be one
            out[a] = out[b - 1] = '"'

    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = i
            while j < n and (text[j] != "\n" or text[j - 1] == "\\"):
                j += 1
            blank(i, j)
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            blank(i, j)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j)
            i = j
        elif text.startswith('R"', i) and not _in_word(text, i):
            open_paren = text.find("(", i)
            delimiter = ")" + text[i + 2:open_paren] + '"'
            j = text.find(delimiter, open_paren)
            j = n if j < 0 else j + len(delimiter)
            literals[i] = (j, "string")
            blank(i, j, quoted=True)
            i = j
        elif c == '"' or (c == "'" and not _digit_separator(text, i)):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            literals[i] = (j, "string" if c == '"' else "char")
            blank(i, j, quoted=True)
            i = j
        else:
            i += 1
    masked = "".join(out)
    for match in re.finditer(r"\bstatic_assert\s*\(", masked):
        close = _bracket(masked, match.end() - 1, 1)
        end = masked.find(";", close)
        blank(match.start(), close + 1 if end < 0 else end + 1)
    return "".join(out), literals


def _in_word(text, i):
    return i > 0 and (text[i - 1].isalnum() or text[i - 1] == "_")


def _digit_separator(text, i):
    """A ' inside a number such as 1'000 is no character literal."""
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] in "_'"):
        j -= 1
    return j < i and text[j].isdigit()


def _bracket(masked, index, step):
    """The index of the bracket matching the one at index (step 1: an opening
    one, -1: a closing one), or -1."""
    depth, k = 0, index
    while 0 <= k < len(masked):
        depth += step * (("([{".find(masked[k]) >= 0) - (")]}".find(masked[k]) >= 0))
        if depth == 0:
            return k
        k += step
    return -1


# The rules: each yields (start, end, replacement), offsets into the file.

SWAPPED = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
           "&&": "||", "||": "&&"}


def _operators(text, masked, literals):
    for match in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>|&&|\|\|)(?=\s)", masked):
        if not re.search(r"\boperator\s*$", masked[:match.start()]):
            yield match.start(), match.end(), SWAPPED[match.group(1)]


def _negations(text, masked, literals):
    for match in re.finditer(r"!(?!=)", masked):
        if not re.search(r"\boperator\s*$", masked[:match.start()]):
            yield match.start(), match.end(), ""
    for match in re.finditer(r"\b(?:if|while)\s*\(", masked):
        start, close = match.end(), _bracket(masked, match.end() - 1, 1)
        top = _top_level(masked, start, close)
        # Not an if with an initializer or a declaration (if (auto* p = ...));
        # a condition that starts with ! is mutated by dropping it instead.
        if close < 0 or ";" in top or re.search(r"(?<![=!<>])=(?!=)", top) or \
                masked[start:close].strip().startswith("!"):
            continue
        yield start, close, "!(" + text[start:close] + ")"


def _top_level(masked, start, close):
    """masked[start:close] with everything inside nested brackets blanked."""
    depth, kept = 0, []
    for ch in masked[start:close]:
        if ch in "([{":
            depth += 1
        kept.append(ch if depth == 0 else " ")
        if ch in ")]}":
            depth -= 1
    return "".join(kept)


INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlL]*)(?![\w.'])")


def _constants(text, masked, literals):
    for match in INTEGER.finditer(masked):
        digits = match.group(1).replace("'", "")
        hexadecimal = digits[:2].lower() == "0x"
        if not hexadecimal and len(digits) > 1 and digits[0] == "0":
            continue  # octal
        value = int(digits, 16 if hexadecimal else 10)
        # Zero never goes to -1: that mostly makes code that does not compile.
        for changed in (value + 1, value - 1) if value else (1,):
            if hexadecimal:
                number = format(changed, "x" if any(c.islower() for c in digits[2:]) else "X")
                number = digits[:2] + number.zfill(len(digits) - 2)
            else:
                number = str(changed)
            yield match.start(1), match.end(1), number


DECLARATION_WORDS = set("""auto bool break case char class const constexpr continue default do
double else enum explicit extern float for friend goto if inline int long namespace
private protected public return short signed size_t static struct switch template
typedef union unsigned using virtual void while""".split())

# What follows the first name in an expression statement: a call, a member,
# an index, an assignment or a stream's <<.
EXPRESSION_START = re.compile(
    r"(?:\+\+|--|\*|\()|(?:::)?\w+(?:::\w+)*\s*(?:\(|\.|->|\[|\+\+|--|[-+*/%&|^]?=(?!=)|<<=?|>>=)")
CONTROL_HEADER = re.compile(r"\b(?:if|while|for)\s*$")


def _statements(text, masked, literals):
    starts = set()
    for match in re.finditer(r"(?m)^[ \t]*(?=\S)", masked):
        starts.add(match.end())
    for match in re.finditer(r"\b(?:if|while|for)\s*\(", masked):
        close = _bracket(masked, match.end() - 1, 1)
        if close > 0:
            starts.add(re.compile(r"[ \t]*").match(masked, close + 1).end())
    for match in re.finditer(r"\belse[ \t]+(?=\S)", masked):
        starts.add(match.end())
    for start in sorted(starts):
        end = _statement_end(masked, start)
        if end < 0 or not _statement_follows(masked, start):
            continue
        statement = masked[start:end]
        first = re.match(r"\w+", statement)
        if statement.startswith("return"):
            if re.fullmatch(r"return\s*;", statement):
                yield start, end, "{}"
        elif not (first and first.group() in DECLARATION_WORDS) and EXPRESSION_START.match(statement):
            yield start, end, "{}"


def _statement_end(masked, start):
    """The end (after ;) of the statement from start, or -1 if there is none."""
    depth = 0
    for k in range(start, len(masked)):
        ch = masked[k]
        if ch in "([":
            depth += 1
        elif ch in ")]":
            depth -= 1
            if depth < 0:
                return -1
        elif ch == "{" and depth == 0 or ch == "}" and depth == 0:
            return -1
        elif ch in "{}":
            depth += 1 if ch == "{" else -1
        elif ch == ";" and depth == 0:
            return k + 1
    return -1


def _statement_follows(masked, start):
    """Whether start begins a statement rather than continues an expression."""
    before = masked[:start].rstrip()
    if not before or before[-1] in ";{}":
        return True
    if re.search(r"\belse$", before):
        return True
    if before[-1] == ")":
        opening = _bracket(masked, len(before) - 1, -1)
        return opening > 0 and bool(CONTROL_HEADER.search(masked[:opening]))
    return False


COMMUTATIVE = {"min", "max", "swap"}
NOT_CALLS = DECLARATION_WORDS | {"sizeof", "alignof", "decltype", "noexcept", "catch"}
NAME = re.compile(r"(?:::)?[A-Za-z_]\w*(?:(?:::|\.|->)[A-Za-z_]\w*)*")


def _swaps(text, masked, literals, declarations):
    for match in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", masked):
        if match.group(1) in NOT_CALLS or match.group(1) in COMMUTATIVE:
            continue
        close = _bracket(masked, match.end() - 1, 1)
        if close < 0:
            continue
        top = _top_level(masked, match.end(), close)
        arguments, begin = [], 0
        for part in top.split(",") if top.strip() else []:
            a = begin + len(part) - len(part.lstrip())
            arguments.append((match.end() + a, match.end() + begin + len(part.rstrip())))
            begin += len(part) + 1
        for (a1, b1), (a2, b2) in zip(arguments, arguments[1:]):
            first, second = text[a1:b1], text[a2:b2]
            if first != second and _same_kind(masked, literals, declarations, (a1, b1), (a2, b2)):
                yield a1, b2, second + text[b1:a2] + first


def _kind(masked, literals, declarations, span):
    a, b = span
    if a in literals and literals[a][0] == b:
        return literals[a][1] + " literal"
    word = masked[a:b]
    if re.fullmatch(INTEGER.pattern, word):
        return "integer literal"
    if word in ("true", "false"):
        return "bool literal"
    if not NAME.fullmatch(word) or word in NOT_CALLS or word in ("this", "nullptr"):
        return None
    last = re.split(r"::|\.|->", word)[-1]
    member = re.fullmatch(r"m_([a-z]+)[A-Z]\w*", last)
    if member:
        return "member " + member.group(1)
    scope = word.rsplit("::", 1)
    if len(scope) == 2 and scope[0] and re.fullmatch(r"k[A-Z]\w*", last):
        return "enumerator of " + scope[0]
    return declarations.get(last)


def _same_kind(masked, literals, declarations, one, other):
    kind = _kind(masked, literals, declarations, one)
    return kind is not None and kind == _kind(masked, literals, declarations, other)


# A type, then & or * written against it, then the name: "const Foo& name =".
DECLARED = re.compile(
    r"(?<![\w:])((?:const\s+)?[A-Za-z_][\w:]*(?:<[\w:, <>*]*>)?)(\*?)&?\s+([a-z]\w*|k[A-Z]\w*)\s*(?=[=;,){\[])")
NOT_TYPES = DECLARATION_WORDS - {"bool", "char", "int", "long", "short", "double", "float", "size_t",
                                 "unsigned"} | {"delete", "new", "throw"}


def declarations_in(*masked_texts):
    """{name: type} for names declared once with a plain type in these texts;
    auto and names declared with two types are left out."""
    found = {}
    for masked in masked_texts:
        for match in DECLARED.finditer(masked):
            kind = re.sub(r"^const\s+", "", match.group(1)) + match.group(2)
            name = match.group(3)
            if kind.split("<")[0] in NOT_TYPES:
                continue
            found[name] = kind if found.get(name, kind) == kind else None
    return {name: kind for name, kind in found.items() if kind}


RULES = (_operators, _negations, _constants, _statements)


def mutants(path, text, header_text=""):
    """Every mutant of one file, in the order of their place in it."""
    masked, literals = mask(text)
    declarations = declarations_in(masked, mask(header_text)[0])
    changes = set()
    for rule in RULES:
        changes.update(rule(text, masked, literals))
    changes.update(_swaps(text, masked, literals, declarations))
    found = []
    for start, end, replacement in sorted(changes):
        line_start = text.rfind("\n", 0, start) + 1
        line_end = text.find("\n", max(end - 1, start))
        line_end = len(text) if line_end < 0 else line_end
        mutated = text[:start] + replacement + text[end:]
        shift = len(replacement) - (end - start)
        found.append(Mutant(path, text.count("\n", 0, start) + 1, start, end, replacement,
                            collapse(text[line_start:line_end]),
                            collapse(mutated[line_start:line_end + shift])))
    return found


def collapse(text):
    return " ".join(text.split())


def sample(found, count, seed):
    """count of the mutants, the same ones for the same seed, in file order.
    Each draw picks a line first, so that a line of a table with sixteen
    numbers weighs no more than any other line."""
    if count is None or count >= len(found):
        return list(found)
    lines = {}
    for index, mutant in enumerate(found):
        lines.setdefault((mutant.path, mutant.line), []).append(index)
    pool = list(lines.values())
    rng = random.Random(seed)
    chosen = []
    while len(chosen) < count:
        on_line = pool[rng.randrange(len(pool))]
        chosen.append(on_line.pop(rng.randrange(len(on_line))))
        pool = [rest for rest in pool if rest]
    return [found[i] for i in sorted(chosen)]


def read_equivalents(text):
    """{(path, before, after): reason} from the equivalents file: blocks of
    a path, then 'before:', 'after:' and 'reason:' lines."""
    entries, block = {}, {}
    for number, line in enumerate(text.splitlines() + [""], 1):
        stripped = line.strip()
        if stripped.startswith("#"):
            continue
        if not stripped:
            if block:
                if set(block) != {"path", "before", "after", "reason"} or not block["reason"]:
                    raise ValueError(f"line {number}: an entry needs a path, before:, after: and reason:")
                entries[(block["path"], block["before"], block["after"])] = block["reason"]
                block = {}
            continue
        key, colon, value = stripped.partition(":")
        if not block:
            block["path"] = stripped
        elif colon and key in ("before", "after", "reason") and key not in block:
            block[key] = collapse(value) if key != "reason" else value.strip()
        else:
            raise ValueError(f"line {number}: expected before:, after: or reason:, got {stripped!r}")
    return entries


def equivalent_key(mutant):
    return (mutant.path, mutant.before, mutant.after)
