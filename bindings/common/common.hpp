// What every binding shares: argument and result checks with the system's exact
// messages, conversion between Python str and core UTF-8, record reading with
// Python's own rules, docstrings that carry a CPython text signature, and the
// translation of core errors into Python exceptions.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

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

// The UTF-8 of an argument declared as str, after check_arg.
std::string str_arg(py::handle value, const char* name);

// str <-> UTF-8 with "surrogatepass", so every Python str round-trips.
// to_utf8 raises the usual TypeError for a value that is not a str.
std::string to_utf8(py::handle str);
py::str from_utf8(std::string_view text);
// from_utf8 of a text that may be absent: None when it is.
py::object str_or_none(const std::optional<std::string>& text);

// Python values of the core's texts and constant tables, in their order: a
// list (set, frozenset) of strs, and a dict of str keys to strs or ints.
template <typename Texts>
py::list list_of(const Texts& texts) {
  py::list out;
  for (std::string_view text : texts) out.append(from_utf8(text));
  return out;
}

template <typename Texts>
py::set set_of(const Texts& texts) {
  return py::set(list_of(texts));
}

template <typename Texts>
py::frozenset frozenset_of(const Texts& texts) {
  return py::frozenset(list_of(texts));
}

template <typename Table>
py::dict dict_of(const Table& table) {
  py::dict out;
  for (const auto& [key, value] : table) {
    if constexpr (std::is_integral_v<std::decay_t<decltype(value)>>) {
      out[from_utf8(key)] = py::int_(value);
    } else {
      out[from_utf8(key)] = from_utf8(value);
    }
  }
  return out;
}

// Record reading: `dict.get(key)` (None when missing) for an exact dict; a
// missing key and None read the same. Raises TypeError "Expected dict, got
// <type>" when `record` is not a dict.
py::object get(py::handle record, const char* key);
// The same lookup with a key from `key()`, for loops over many records.
py::object get(py::handle record, py::handle key);
// An interned str for `name`, made on first use and kept for the life of the
// process: a lookup with it builds and hashes no new str. Call it once per key
// (a function-local static) with the GIL held.
py::handle key(const char* name);
// An int (bool included) of any size, saturated to the 64-bit range: an
// ordinal beyond it is as good as infinite.
std::int64_t saturated_int(py::handle value);
// Python truthiness (errors of __bool__ propagate).
bool truthy(py::handle value);

// Writes `data` to the open Python file `file` and closes it; the file is
// closed even when the write fails, and the write's error is the one raised.
void write_and_close(py::handle file, py::handle data);
// The text of a str value; std::nullopt for None; other kinds are read as
// `str(value)` when `convert`, else std::nullopt.
std::optional<std::string> text_of(py::handle value, bool convert = false);
// text_of the record's value at `key` (std::nullopt also for a missing key).
std::optional<std::string> get_text(py::handle record, const char* key, bool convert = false);

// UTF-8 views of Python strs for the core, valid for as long as this object
// lives: a str's own cached UTF-8 is viewed and the str held, so a record
// changed meanwhile leaves no view dangling; only a str with lone surrogates,
// which Python cannot cache as UTF-8, is encoded into a copy kept here.
// (Hidden, as pybind11's own types are, since it holds py::objects.)
class [[gnu::visibility("hidden")]] Utf8Views {
 public:
  // The UTF-8 of `s`, which must be a str.
  std::string_view str(py::handle s);
  // The UTF-8 of a str value; "" for anything else, and for a null handle.
  std::string_view text(py::handle value);
  // Keeps `object` alive as long as the views (a record whose values are viewed).
  void hold(py::handle object);

 private:
  std::vector<py::object> held_;
  std::deque<std::string> copies_;  // stable addresses for the views
};

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
