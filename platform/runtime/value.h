// Value: the dynamically typed value of the system's procedures and expressions.
//
// A Value is nil, text, number, logical, date, array, object or callable. Text is a byte string
// in the code page of the table it came from (the GUI converts it for display). Numbers are
// doubles. Arrays and objects are shared by reference, like the original runtime's: copying a
// Value that holds an array copies the reference, so a callee that changes an element changes
// the caller's array.
//
// Thread safety: a Value is a plain value; the array or object it refers to is shared, and is
// guarded by whoever shares it across threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rt {

// A calendar date as a Julian day number; 0 is the empty date.
struct Date {
  std::int32_t julian = 0;
  bool isEmpty() const { return julian == 0; }
  static Date fromYmd(int year, int month, int day);  // empty when the date is not valid
  void toYmd(int* year, int* month, int* day) const;  // 0, 0, 0 for the empty date
  friend bool operator==(Date a, Date b) = default;
  friend auto operator<=>(Date a, Date b) = default;
};

class Value;
using Array = std::vector<Value>;
using ArrayRef = std::shared_ptr<Array>;

// Base of the objects that procedures hand around (printer objects, dialogs, windows).
class Object {
 public:
  virtual ~Object() = default;
  virtual std::string className() const = 0;
};
using ObjectRef = std::shared_ptr<Object>;

// A callable takes its arguments by reference, so that a routine can assign to a parameter the
// caller passed by reference (as the e-mail sender does with its error text).
using Args = std::vector<Value>;
using Callable = std::function<Value(Args&)>;
using CallableRef = std::shared_ptr<const Callable>;

class Value {
 public:
  enum class Kind { kNil, kText, kNumber, kLogical, kDate, kArray, kObject, kCallable };

  Value() = default;
  Value(const char* s) : v_(std::string(s)) {}                 // NOLINT: implicit by design
  Value(std::string s) : v_(std::move(s)) {}                   // NOLINT
  Value(std::string_view s) : v_(std::string(s)) {}            // NOLINT
  Value(double n) : v_(n) {}                                   // NOLINT
  Value(int n) : v_(static_cast<double>(n)) {}                 // NOLINT
  Value(long n) : v_(static_cast<double>(n)) {}                // NOLINT
  Value(long long n) : v_(static_cast<double>(n)) {}           // NOLINT
  Value(unsigned n) : v_(static_cast<double>(n)) {}            // NOLINT
  Value(unsigned long n) : v_(static_cast<double>(n)) {}       // NOLINT
  Value(bool b) : v_(b) {}                                     // NOLINT
  Value(Date d) : v_(d) {}                                     // NOLINT
  Value(ArrayRef a) : v_(std::move(a)) {}                      // NOLINT
  Value(ObjectRef o) : v_(std::move(o)) {}                     // NOLINT
  Value(CallableRef c) : v_(std::move(c)) {}                   // NOLINT

  static Value nil() { return {}; }
  static Value array(Array items = {}) { return Value(std::make_shared<Array>(std::move(items))); }
  static Value callable(Callable fn) {
    return Value(std::make_shared<const Callable>(std::move(fn)));
  }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  // The one-letter type of the original runtime: U C N L D A O B.
  char typeLetter() const;
  static const char* kindName(Kind k);

  bool isNil() const { return kind() == Kind::kNil; }
  bool isText() const { return kind() == Kind::kText; }
  bool isNumber() const { return kind() == Kind::kNumber; }
  bool isLogical() const { return kind() == Kind::kLogical; }
  bool isDate() const { return kind() == Kind::kDate; }
  bool isArray() const { return kind() == Kind::kArray; }
  bool isObject() const { return kind() == Kind::kObject; }
  bool isCallable() const { return kind() == Kind::kCallable; }

  // Accessors. Each REQUIRES the matching kind; a wrong kind raises the runtime's error
  // ("Argument error: expected text, got number") through the error handler.
  const std::string& text() const;
  double number() const;
  bool logical() const;
  Date date() const;
  const ArrayRef& arrayRef() const;
  Array& arr() const { return *arrayRef(); }
  const ObjectRef& object() const;
  const CallableRef& callableRef() const;

  // Calls a callable value. REQUIRES isCallable().
  Value call(Args& args) const;
  Value call() const;

  // Logical truth for tests such as "IF lValue": only a logical true is true.
  bool isTrue() const { return isLogical() && std::get<bool>(v_); }

  // Empty in the runtime's sense: nil, blank text, zero, false, empty date, empty array.
  bool isEmpty() const;

  // A text a person can read, for logs and messages: text as is, numbers without needless
  // decimals, .T./.F., dates as DTOS, NIL, {…} for arrays.
  std::string debugString() const;

 private:
  std::variant<std::monostate, std::string, double, bool, Date, ArrayRef, ObjectRef, CallableRef>
      v_;
};

// The type-guarded default: `v` when it has the kind of `def`, otherwise `def`. A value of the
// right kind stays even when blank or zero.
Value guarded(const Value& v, const Value& def);

// Text comparison of the program: non-exact equality is true when `left` begins with `right`
// (so an empty right text equals anything); exact equality compares whole texts.
bool textEqualsNonExact(std::string_view left, std::string_view right);
bool textEqualsExact(std::string_view left, std::string_view right);

// The `=` and `==` operators over any two values: texts as above, numbers, logicals, dates by
// value, nil equals only nil; arrays and objects by identity. Values of different kinds are not
// equal (the original raised an argument error; callers here never compare across kinds).
bool valuesEqual(const Value& a, const Value& b, bool exact);

}  // namespace rt
