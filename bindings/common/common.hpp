// What every binding shares: argument and result checks with the system's exact
// messages, conversion between Python str and core UTF-8, record reading with
// Python's own rules, docstrings that carry a CPython text signature, and the
// translation of core errors into Python exceptions.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>
#include <string>
#include <string_view>

namespace marrowlane::bind {

namespace py = pybind11;

// The built-in kinds an argument or result is declared as. A check accepts
// exactly that kind: subclasses are refused (bool is not an int here).
enum class Kind { Str, List, Dict, Tuple, Int, Float, Bool };

const char* kind_name(Kind kind);  // "str", "list", "dict", ...
bool is_exactly(py::handle value, Kind kind);

// TypeError "Argument '<name>' has incorrect type (expected <kind>, got <type>)"
// unless `value` is exactly of `kind` (or None where `none_ok`).
void check_arg(py::handle value, const char* name, Kind kind, bool none_ok = false);
// TypeError "Expected <kind>, got <type>" unless `value` is exactly of `kind`
// (or None where `none_ok`).
void check_result(py::handle value, Kind kind, bool none_ok = false);

// str <-> UTF-8 with "surrogatepass", so every Python str round-trips.
// to_utf8 raises the usual TypeError for a value that is not a str.
std::string to_utf8(py::handle str);
py::str from_utf8(std::string_view text);

// Record reading: `dict.get(key)` (None when missing) for an exact dict; a
// missing key and None read the same. Raises the check's TypeError, naming
// `what`, when `record` is not a dict.
py::object get(py::handle record, const char* key);
// The same lookup with a key from `key()`, for loops over many records.
py::object get(py::handle record, py::handle key);
// An interned str for `name`, made on first use and kept for the life of the
// process: a lookup with it builds and hashes no new str. Call it once per key
// (a function-local static) with the GIL held.
py::handle key(const char* name);
// Python truthiness (errors of __bool__ propagate).
bool truthy(py::handle value);
// The text of a str value; std::nullopt for None or a missing key; other kinds
// are read as `str(value)` when `convert`, else std::nullopt.
std::optional<std::string> get_text(py::handle record, const char* key, bool convert = false);

// "<signature>\n--\n\n<docstring>": the signature line gives inspect.signature
// the parameters, and __doc__ stays exactly `docstring`. Methods name `self`
// first: "parse(self, instruction)".
std::string doc(std::string_view signature, std::string_view docstring = "");

// Turns core errors (marrowlane::ValueError, TypeError, KeyError) into the
// Python exceptions of the same names. Every module calls it once.
void register_errors();

// Module set-up every binding does first, with a `py::options` that lives for
// the module body: pybind11's generated signatures off (ours are in the
// docstrings), core errors registered.
void prepare_module(py::options& options);

}  // namespace marrowlane::bind
