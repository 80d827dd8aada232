"""The step language through its Python face: records, messages, tables and kinds."""

import inspect
import itertools
import re

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from marrowlane_web.engine.agent import step_parser
from marrowlane_web.engine.agent.step_parser import StepParser, _extract_ordinal

P = StepParser()

ACTIONS = [
    "click", "type", "hover", "select", "press_key", "sendkeys", "extract_text",
    "extract_text_spatial", "find_text", "find_exact_text", "verify_present", "verify_visible",
    "verify_enabled", "verify_disabled", "verify_text_present", "verify_text_visible",
    "verify_spatial_text", "accept_dialog", "dismiss_dialog", "verify_dialog",
]


def rec(action, target, value=None, literal=False, **ordinal):
    """A parsed instruction with its keys in record order."""
    out = {"action": action, "target": target, "value": value}
    out.update(ordinal)
    out["_literal_target"] = literal
    return out


PARSE_CASES = [
    # The vocabulary, one form at a time.
    ('click "Log in"', rec("click", "Log in", ordinal=1, literal=True)),
    ("click the Login button", rec("click", "Login button", ordinal=1)),
    ("click third link", rec("click", "link", ordinal=3)),
    ("click first", rec("click", "", ordinal=1)),
    ('click second button next to "Sign up"', rec("click", "button next to Sign up", ordinal=2)),
    ("Click  THE   Save", rec("click", "Save", ordinal=1)),
    ('type standard_user into "Username"', rec("type", "Username", "standard_user", True)),
    ("type  hello  into the Search box", rec("type", "Search box", " hello ")),
    ('type "a b" into "Name"', rec("type", "Name", "a b", True)),
    ("type a into b into c", rec("type", "b into c", "a")),
    ('select "United States" from "Country"', rec("select", "Country", "United States", True)),
    ("select Canada from the Country dropdown", rec("select", "Country dropdown", "Canada")),
    ("find exact text Total:", rec("find_exact_text", "Total:")),
    ("find text the Welcome", rec("find_text", "Welcome")),
    ('extract text "Price"', rec("extract_text", "Price", ordinal=1, literal=True)),
    ("extract text from second price", rec("extract_text", "price", ordinal=2)),
    ("extract_text below Subtotal", rec("extract_text_spatial", "below Subtotal")),
    ("hover the Menu", rec("hover", "Menu")),
    ('navigate "/checkout"', rec("navigate", "/checkout")),
    ("navigate '/checkout'", rec("navigate", "/checkout")),
    ("press Enter", rec("press_key", "Enter")),
    ("Accept Dialog", rec("accept_dialog", None)),
    ("dismiss dialog", rec("dismiss_dialog", None)),
    ("verify dialog says Saved!", rec("verify_dialog", None, "Saved!")),
    ("sendkeys Tab", rec("sendkeys", "Tab", "Tab")),
    ('wait "1000"', rec("wait", "1000")),
    ("wait 500", rec("wait", "500")),
    ('verify "Products" is present', rec("verify_present", "Products", literal=True)),
    ("verify the Submit button is disabled", rec("verify_disabled", "Submit button")),
    ("verify text Welcome back is visible", rec("verify_text_visible", "Welcome back")),
    ("verify text the Total is present", rec("verify_text_present", "the Total")),
    ('verify text next to "Potential Returns" is $29.00',
     rec("verify_spatial_text", "next to Potential Returns", "$29.00")),
    # Consequences of the order of the tests.
    ("verify text Welcome is enabled", rec("verify_enabled", "text Welcome")),
    ("verify text below Price is visible", rec("verify_spatial_text", "below Price", "visible")),
    ("verify text near Status is is active",
     rec("verify_spatial_text", "near Status is", "active")),
    # A quoted target is an exact name: no ordinal or relation is read from it.
    ('click "First Name"', rec("click", "First Name", ordinal=1, literal=True)),
    ('extract text "Below zero"', rec("extract_text", "Below zero", ordinal=1, literal=True)),
    ("click first Name", rec("click", "Name", ordinal=1)),
    ('click first "Sign up"', rec("click", "Sign up", ordinal=1, literal=True)),
    # Non-ASCII steps keep the writer's letters, also where lower-casing
    # changes a character's length (U+0130, the Kelvin sign).
    ('click "Über uns"', rec("click", "Über uns", ordinal=1, literal=True)),
    ('type Grüße into "Straße"', rec("type", "Straße", "Grüße", True)),
    ("VERIFY ÉTAT IS PRESENT", rec("verify_present", "ÉTAT")),
    ("verify ΟΔΟΣ is visible", rec("verify_visible", "ΟΔΟΣ")),
    ("type İİ into İzmir", rec("type", "İzmir", "İİ")),
    ("clic\u212a Save", rec("click", "Save", ordinal=1)),
]


@pytest.mark.parametrize("step, expected", PARSE_CASES)
def test_parse_records(step, expected):
    got = P.parse(step)
    assert list(got.items()) == list(expected.items())
    assert type(got["_literal_target"]) is bool


UNRECOGNISED = ["jump", "", "   ", "click", "type hello", "accept dialog now", "back", "refresh",
                "verify Login button", "type into Search", "select from List", "it's\n",
                "click\u00a0\u00a0the\u2003Save button"]


@pytest.mark.parametrize("step", UNRECOGNISED)
def test_parse_rejects_unreadable_steps(step):
    with pytest.raises(ValueError) as err:
        P.parse(step)
    assert str(err.value) == (f"Unrecognised instruction: {step!r}. "
                              f"Supported actions: {ACTIONS!r}")


def test_parse_builds_a_fresh_record_each_call():
    first = P.parse("click Save")
    first["target"] = "changed"
    assert P.parse("click Save")["target"] == "Save"


TYPE_TEXT = "`type` instruction missing text to type. Expected: type <text> into <target>"
VERIFY_STATE = ("`verify` instruction missing state. Expected ending: "
                "is present | is visible | is enabled | is disabled")
UNKNOWN = ("Unknown action {!r}. Expected one of: click, type, verify, hover, select, press, "
           "wait, find, extract, sendkeys.")

VALIDATE_CASES = [
    ("", ["Instruction is empty."]),
    ("   ", ["Instruction is empty."]),
    ('click "Log in', ["Unbalanced quote — missing closing `\"` in: 'click \"Log in'"]),
    ('  "a" "b  ', ["Unbalanced quote — missing closing `\"` in: '\"a\" \"b'"]),
    ("jump to page", [UNKNOWN.format("jump")]),
    ("Jump", [UNKNOWN.format("jump")]),
    ("back", []),
    ("refresh", []),
    ("click Login", []),
    ("type hello",
     ["`type` instruction missing `into` keyword. Expected: type <text> into <target>"]),
    ("type  into Name", [TYPE_TEXT]),
    ("type into Search", [TYPE_TEXT]),
    ("type x into Name", []),
    ("select Canada",
     ["`select` instruction missing `from` keyword. Expected: select <value> from <target>"]),
    ("verify Login button", [VERIFY_STATE]),
    ("verify dialog says Saved", []),
    ("verify text Welcome",
     ["`verify text` instruction missing state. Expected ending: is present | is visible"]),
    ("verify text below Price is $5", []),
    ("verify text leftover is visible", []),
    ("wait 1.5", ["`wait` value must be a number in milliseconds. Got: '1.5'"]),
    ("wait soon", ["`wait` value must be a number in milliseconds. Got: 'soon'"]),
    ('wait "500"', []),
]


@pytest.mark.parametrize("step, expected", VALIDATE_CASES)
def test_validate_messages(step, expected):
    assert P.validate(step) == expected


def test_validate_all_numbers_lines_from_one_in_order():
    got = P.validate_all(["click Login", "jump", "wait x", "   "])
    assert list(got.items()) == [
        (2, [UNKNOWN.format("jump")]),
        (3, ["`wait` value must be a number in milliseconds. Got: 'x'"]),
        (4, ["Instruction is empty."]),
    ]
    assert P.validate_all([]) == {} and P.validate_all(["click A", "wait 5"]) == {}


@pytest.mark.parametrize("given_text, expected", [
    ('click first button next to "Sign up"', ("click first button next to Sign up", ["Sign up"])),
    ('a "b" "b" c', ("a b b c", ["b", "b"])),
    ('""x"', ('"x', ["x"])),
    ('say "hi', ('say "hi', [])),
    ("it's 'single'", ("it's 'single'", [])),
])
def test_unquote(given_text, expected):
    assert StepParser._unquote(given_text) == expected
    assert P._unquote(instruction=given_text) == expected


@pytest.mark.parametrize("given_text, expected", [
    ("the Login button", "Login button"),
    ("Sign   up", "Sign up"),
    ("The A into", ""),
    ("button on the left", "button on the left"),
])
def test_clean_target(given_text, expected):
    assert StepParser._clean_target(given_text) == expected


@pytest.mark.parametrize("given_text, expected", [
    ("second link", (2, "link")),
    ("  FIFTH  row  ", (5, "row  ")),
    ("third", (3, "")),
    ("2nd link", (1, "2nd link")),
    ("", (1, "")),
])
def test_extract_ordinal(given_text, expected):
    assert _extract_ordinal(given_text) == expected


def test_tables():
    cls = StepParser
    assert type(cls.SUPPORTED_ACTIONS) is list and cls.SUPPORTED_ACTIONS == ACTIONS
    assert type(cls._KNOWN_ACTIONS) is frozenset and cls._KNOWN_ACTIONS == {
        "click", "type", "hover", "select", "press", "sendkeys", "wait", "verify", "find",
        "extract", "accept", "dismiss", "back", "refresh", "navigate"}
    assert type(cls._VERIFY_STATES) is dict and list(cls._VERIFY_STATES.items()) == [
        ("is present", "verify_present"), ("is visible", "verify_visible"),
        ("is enabled", "verify_enabled"), ("is disabled", "verify_disabled")]
    assert type(cls._VERIFY_TEXT_STATES) is dict and list(cls._VERIFY_TEXT_STATES.items()) == [
        ("is present", "verify_text_present"), ("is visible", "verify_text_visible")]
    assert type(cls._STOP_WORDS) is frozenset and cls._STOP_WORDS == {
        "the", "a", "an", "on", "in", "at", "into"}
    assert type(step_parser._ORDINALS) is dict and list(step_parser._ORDINALS.items()) == [
        ("first", 1), ("second", 2), ("third", 3), ("fourth", 4), ("fifth", 5)]
    assert isinstance(step_parser._QUOTE_RE, re.Pattern)
    assert step_parser._QUOTE_RE.pattern == '"([^"]+)"'


def test_signatures():
    def params(f):
        return list(inspect.signature(f).parameters)

    assert params(StepParser.parse) == ["self", "instruction"]
    assert params(StepParser.validate) == ["self", "instruction"]
    assert params(StepParser.validate_all) == ["self", "instructions"]
    assert params(StepParser._unquote) == ["instruction"]
    assert params(StepParser._clean_target) == ["target"]
    assert params(_extract_ordinal) == ["text"]


class Text(str):
    pass


@pytest.mark.parametrize("call, message", [
    (lambda: P.parse(None), "Argument 'instruction' has incorrect type (expected str, got NoneType)"),
    (lambda: P.parse(Text("click A")), "Argument 'instruction' has incorrect type (expected str, got Text)"),
    (lambda: P.validate(b"click"), "Argument 'instruction' has incorrect type (expected str, got bytes)"),
    (lambda: P.validate_all(("click A",)), "Argument 'instructions' has incorrect type (expected list, got tuple)"),
    (lambda: P.validate_all(["click A", 3]), "Argument 'instruction' has incorrect type (expected str, got int)"),
    (lambda: StepParser._unquote(1.5), "Argument 'instruction' has incorrect type (expected str, got float)"),
    (lambda: StepParser._clean_target([]), "Argument 'target' has incorrect type (expected str, got list)"),
    (lambda: _extract_ordinal(None), "Argument 'text' has incorrect type (expected str, got NoneType)"),
])
def test_argument_kinds(call, message):
    with pytest.raises(TypeError) as err:
        call()
    assert str(err.value) == message


# --- properties -----------------------------------------------------------

VOCAB = ["click ", "type ", " into ", "select ", " from ", "find exact text ", "find text ",
         "extract text ", "extract_text ", "from ", "hover ", "navigate ", "press ", "sendkeys ",
         "wait ", "verify ", "verify text ", "verify dialog says ", "accept dialog",
         "dismiss dialog", " is present", " is visible", " is enabled", " is disabled", " is ",
         "next to ", "below ", "near ", "first ", "second ", "the ", '"', "'", " ", "\t", "\n",
         "\xa0", "İ", "\u212a", "Σ", "ß", "\ud800", "\udfff", "\x00", "\x1b"]

ALPHABET = st.one_of(st.characters(), st.characters(max_codepoint=0x1F),
                     st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF))
FRAGMENTS = st.lists(st.one_of(st.sampled_from(VOCAB), st.text(ALPHABET, max_size=4)),
                     max_size=8).map("".join)
# Most steps that start with an action word reach deep into the cascade.
STEPS = st.one_of(st.text(ALPHABET), FRAGMENTS,
                  st.tuples(st.sampled_from(VOCAB[:17]), FRAGMENTS).map("".join))
ANYTHING = st.one_of(st.none(), st.integers(), st.floats(), st.binary(), st.booleans(),
                     st.lists(st.text(max_size=3), max_size=3), st.builds(Text, st.text()),
                     st.dictionaries(st.text(max_size=2), st.text(max_size=2), max_size=2))
PROPERTY = settings(max_examples=400, deadline=None,
                    suppress_health_check=[HealthCheck.too_slow])


@PROPERTY
@given(STEPS)
def test_parse_answers_a_record_or_the_unrecognised_error(step):
    try:
        got = P.parse(step)
    except ValueError as err:
        assert str(err).startswith(f"Unrecognised instruction: {step!r}. Supported actions: [")
        return
    keys = ["action", "target", "value"]
    if got["action"] in ("click", "extract_text"):
        keys.append("ordinal")
        assert type(got["ordinal"]) is int and 1 <= got["ordinal"] <= 5
    assert list(got) == keys + ["_literal_target"]
    assert got["action"] in ACTIONS + ["wait", "navigate"]
    assert type(got["_literal_target"]) is bool
    for key in ("target", "value"):
        assert got[key] is None or type(got[key]) is str
    if got["_literal_target"]:
        assert got["target"] in step_parser._QUOTE_RE.findall(step.strip())


@PROPERTY
@given(st.text(st.characters(max_codepoint=0x7F)).map(
    lambda s: s if re.match(r"\s*[A-Za-z]", s) else "click " + s))
def test_parse_ignores_letter_case(step):
    """Cuts are found in the lower-cased step, so case changes only the letters kept."""
    def folded(s):
        try:
            got = P.parse(s)
        except ValueError:
            return None
        return {k: v.lower() if isinstance(v, str) else v for k, v in got.items()}

    assert folded(step) == folded(step.swapcase())


@PROPERTY
@given(STEPS)
def test_helpers_agree_with_python(text):
    quote_re = step_parser._QUOTE_RE
    assert StepParser._unquote(text) == (quote_re.sub(r"\1", text), quote_re.findall(text))
    words = list(itertools.dropwhile(lambda w: w.lower() in StepParser._STOP_WORDS, text.split()))
    assert StepParser._clean_target(text) == " ".join(words)
    parts = text.split(None, 1)
    if parts and parts[0].lower() in step_parser._ORDINALS:
        expected = (step_parser._ORDINALS[parts[0].lower()], parts[1] if len(parts) > 1 else "")
    else:
        expected = (1, text)
    assert _extract_ordinal(text) == expected


@PROPERTY
@given(st.lists(STEPS, max_size=5))
def test_validate_answers_messages(lines):
    got = P.validate_all(lines)
    assert type(got) is dict and list(got) == sorted(got)
    for number, line in enumerate(lines, 1):
        issues = P.validate(line)
        assert type(issues) is list and all(type(i) is str for i in issues)
        assert got.get(number, []) == issues


@PROPERTY
@given(ANYTHING)
def test_wrong_kinds_raise_type_error(value):
    calls = [P.parse, P.validate, StepParser._unquote, StepParser._clean_target,
             _extract_ordinal, lambda v: P.validate_all([v])]
    if type(value) is not list:
        calls.append(P.validate_all)
    for call in calls:
        with pytest.raises(TypeError):
            call(value)
