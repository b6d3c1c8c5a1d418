#!/bin/sh
# Fails (exit 1, listing them) when a name in src/ is a form designer's default: a word
# followed only by digits where the word is one or two capitals (N18, W1, C5) or a kind of
# control (Panel1, SpeedButton3, FileListBox1, label2). Checked are identifiers, string
# literals that are a whole name (object names), the control kinds in comments, and file
# names. In the folders of FORM_VOCABULARY_FOLDERS it also fails on the form's own
# vocabulary: a class declared as T + name (TMainForm), handlers named after a control and
# its event (miAboutClick, actNewExecute, pmTreePopup, lvWordListEndDrag, lblwebMouseEnter),
# the form's life events (FormCreate, FormShow, FormCloseQuery, ...) and controls named by
# their type (tlMain, btnok, Open_Btn), in code, object names and comments. Prints nothing
# when the tree is clean.
# Usage: scripts/check-names.sh [FOLDER]
set -eu
cd "$(dirname "$0")/.."
exec python3 - "${1:-src}" <<'EOF'
import os, re, sys

SUFFIXES = ('.c', '.cc', '.cpp', '.h', '.hpp')
IDENTIFIER = re.compile(r'[A-Za-z_][A-Za-z0-9_]*')
# Numbers go first so that the xD6 of 0xD6 is no name.
TOKEN = re.compile(r"[0-9][0-9A-Za-z_'.]*|[A-Za-z_][A-Za-z0-9_]*")
# Letters, then a number (no leading zero), then the end of the name or the next part of
# it: N18, Panel1, and the N18 of N18Click or the PopupMenu2 of PopupMenu2Popup.
NUMBERED = re.compile(r'([A-Za-z]+)([1-9][0-9]*)(?=[A-Z_]|$)')
CONTROL = re.compile(
    r'(?:^|[a-z])(?:[Aa]ction|[Aa]nimate|[Bb]evel|[Bb]tn|[Bb]utton|[Bb]ox|[Bb]ar|[Cc]olumn|'
    r'[Dd]ialog|[Ee]dit|[Ff]orm|[Ff]rame|[Gg]rid|[Ii]mage|[Ii]tem|[Ll]abel|[Ll]ayout|[Ll]ist|'
    r'[Mm]emo|[Mm]enu|[Pp]anel|[Ss]hape|[Ss]plitter|[Tt]imer|[Uu]nit|[Vv]iew|[Ww]idget)$')
# One or two capitals standing alone or after a lower-case part: N, W, miN; not RGB, UTF.
CAPITALS = re.compile(r'(?:^|[a-z])[A-Z]{1,2}$')
# Names of things outside the program that only look like defaults (function keys too).
LEGITIMATE = re.compile(r'X11|X44|MD[245]|GB2312|GB18030|CP[0-9]+|H[1-6]|E2BIG|F[1-9]|F1[0-2]')

# Folders that speak Qt's vocabulary throughout: all of src.
FORM_VOCABULARY_FOLDERS = ('src',)
# A class of the form: T, then a name with a lower-case letter (TMainForm, TZLPProject; not
# an acronym such as TLS). Flagged where it is declared.
FORM_CLASS = re.compile(r'\b(?:class|struct|union|enum(?:\s+class|\s+struct)?|using)\s+'
                        r'(T[A-Z][A-Za-z0-9]*[a-z][A-Za-z0-9]*)\b')
# A handler named after its control and event, one of the form's life events, a window
# named a form (MainForm), or a control named by the form's type prefix or suffix (tlMain,
# lvWordList, btnok, aniCompile, Open_Btn, Show_Panel).
FORM_HANDLER = re.compile(
    r'[A-Za-z0-9_]*[A-Za-z0-9](?:Click|Execute|Popup|EndDrag|MouseEnter|MouseLeave)'
    r'|Form(?:Create|Show|CloseQuery|Close|Destroy|Activate|Deactivate|Resize|Paint|Hide)'
    r'|[A-Z][A-Za-z0-9]*[a-z0-9](?:Form|Frm)'
    r'|(?:act|mi|pm|tl|lv|lb|lbl|btn|pan|grp|spl|ani)[A-Z][A-Za-z0-9]*'
    r'|(?:lbl|btn)[a-z][a-z0-9]*'
    r'|[A-Za-z0-9]+_(?:Btn|Edit|Panel|Frm|Lable|Label|List|Tree)')
# Qt's test helpers and plain verbs that end like a handler.
NOT_HANDLERS = {'mouseClick', 'mouseDClick', 'keyClick', 'doubleClick'}


def speaks_qt(path):
    path = os.path.relpath(path)
    return any(path == f or path.startswith(f + os.sep) for f in FORM_VOCABULARY_FOLDERS)


def names_in(kind, piece):
    """(offset, name) of the names in one piece of a file: a literal that is one whole name
    (an object name), else the identifiers."""
    if kind == 'string':
        inner = piece[1:-1]
        return [(0, inner)] if IDENTIFIER.fullmatch(inner) else []
    return [(m.start(), m.group(0)) for m in TOKEN.finditer(piece) if not m.group(0)[0].isdigit()]


def form_names(kind, piece):
    """(offset, name) of the form's vocabulary in one piece of a file, each once."""
    found = set()
    if kind == 'code':
        found.update((m.start(1), m.group(1)) for m in FORM_CLASS.finditer(piece))
    found.update((offset, name) for offset, name in names_in(kind, piece)
                 if FORM_HANDLER.fullmatch(name) and name not in NOT_HANDLERS)
    return sorted(found)


def defaults_in(name, in_code):
    """The designer-default parts of one name; capitals count only in code."""
    if LEGITIMATE.fullmatch(name):
        return
    for m in NUMBERED.finditer(name):
        if m.start() > 0 and name[m.start() - 1].isdigit():
            continue
        word, number = m.groups()
        if LEGITIMATE.fullmatch(word + number):
            continue
        if CONTROL.search(word) or (in_code and CAPITALS.search(word)):
            yield m


def pieces(text):
    """Yields (kind, line, text) for code, comments and string literals."""
    i, line, n = 0, 1, len(text)
    start, start_line = 0, 1
    def flush(end):
        return ('code', start_line, text[start:end])
    while i < n:
        c = text[i]
        two = text[i:i + 2]
        if two in ('//', '/*') or c in '"\'' or (c == 'R' and text[i + 1:i + 2] == '"'
                                                 and (i == 0 or not text[i - 1].isalnum())):
            yield flush(i)
            if two == '//':
                end = text.find('\n', i)
                end = n if end < 0 else end
                kind = 'comment'
            elif two == '/*':
                end = text.find('*/', i + 2)
                end = n if end < 0 else end + 2
                kind = 'comment'
            elif c == 'R':
                delim = text[i + 2:text.index('(', i)]
                end = text.find(')' + delim + '"', i)
                end = n if end < 0 else end + len(delim) + 2
                kind = 'string'
            else:
                end = i + 1
                while end < n and text[end] != c and text[end] != '\n':
                    end += 2 if text[end] == '\\' else 1
                end = min(end + 1, n)
                kind = 'string'
            yield (kind, line, text[i:end])
            line += text.count('\n', i, end)
            i = end
            start, start_line = i, line
            continue
        if c == '\n':
            line += 1
        i += 1
    yield flush(n)


found = []
for root, dirs, files in os.walk(sys.argv[1]):
    dirs.sort()
    for name in sorted(files):
        path = os.path.join(root, name)
        stem = name.split('.')[0]
        if IDENTIFIER.fullmatch(stem) and any(defaults_in(stem, True)):
            found.append(f'{path}: file name {stem}')
        if not name.endswith(SUFFIXES):
            continue
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
        form = speaks_qt(path)
        for kind, line, piece in pieces(text):
            if form:
                for offset, name in form_names(kind, piece):
                    at = line + piece.count('\n', 0, offset)
                    found.append(f'{path}:{at}: {name} (the form\'s vocabulary)')
            for offset, name in names_in(kind, piece):
                for m in defaults_in(name, kind != 'comment'):
                    at = line + piece.count('\n', 0, offset)
                    found.append(f'{path}:{at}: {name}')
for f in found:
    print(f)
if found:
    print(f'{len(found)} designer-default or form name(s) in {sys.argv[1]}; name them after '
          'what they are or do', file=sys.stderr)
    sys.exit(1)
EOF
