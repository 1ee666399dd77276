// TarnError: exception roots with a throw site and typed, attachable details.
//
// Every error carries a message, the Context of the statement that threw it
// (source file, qualified function name, line) and an ordered list of details.
// A detail is a value tagged by a record type (ErrorInfo_errno, ...), so a
// handler can ask for exactly the detail it understands:
//
//     catch (const TarnError::Error& e) {
//         if (const int* err = e.GetInfo<TarnError::ErrorInfo_errno>()) ...
//     }
//
// what() is composed once per change and never throws:
//
//     unable to open file [FileErrorCode=fileErrorNotFound (4), Win32Error=2
//     (The system cannot find the file specified), filePath=C:\data\in.bin]
//     at TarnIO::FileHandle::FileHandle (.\FileHandle:120)
//
// The library never catches anything itself and keeps no global state.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#if defined(TARNERROR_STATIC)
#define TARNERROR_API
#elif defined(TARNERROR_BUILDING)
#define TARNERROR_API __declspec(dllexport)
#else
#define TARNERROR_API __declspec(dllimport)
#endif

namespace TarnError {

// Where an error was thrown. Built on the stack at each throw site from string
// literals, so an error keeps the pointers, not copies of the text.
struct Context {
    const char* file;
    const char* function;
    int line;
};

// One attached detail. Render writes its value for humans; GetType and
// GetName identify the record it belongs to.
class TARNERROR_API ErrorInfoBase {
public:
    ErrorInfoBase();
    virtual ~ErrorInfoBase();
    virtual void Render(std::ostream& out) const = 0;
    virtual const std::type_info& GetType() const = 0;
    // The record's name without its "ErrorInfo_" prefix, such as "errno".
    virtual const char* GetName() const = 0;

    ErrorInfoBase(const ErrorInfoBase&) = delete;
    ErrorInfoBase& operator=(const ErrorInfoBase&) = delete;
};

// Shared ownership of one detail: copies of an error share their details,
// which never change once attached.
typedef std::shared_ptr<const ErrorInfoBase> ErrorInfoPtr;

// How a detail's value is written. The general form uses operator<<; a record
// whose value needs another rendering specializes it.
template <class Record>
void RenderValue(std::ostream& out, const typename Record::value_type& value) {
    out << value;
}

// A detail holding one value of a record's value type.
template <class Record>
class ErrorInfoWrapper : public ErrorInfoBase {
public:
    typedef Record record_type;
    typedef typename Record::value_type value_type;

    explicit ErrorInfoWrapper(const value_type& initial) : value(initial) {}
    ~ErrorInfoWrapper() override {}
    void Render(std::ostream& out) const override { RenderValue<Record>(out, value); }
    const std::type_info& GetType() const override { return typeid(Record); }
    const char* GetName() const override { return Record::name; }
    const value_type& GetValue() const { return value; }

private:
    value_type value;
};

// The records of this library. Each names its detail and its value type.
struct ErrorInfo_errno {
    typedef int value_type;
    static constexpr const char* name = "errno";
};
struct ErrorInfo_Win32Error {
    typedef unsigned long value_type;
    static constexpr const char* name = "Win32Error";
};
struct ErrorInfo_invalidArgumentName {
    typedef const char* value_type;  // always a string literal
    static constexpr const char* name = "invalidArgumentName";
};

// "2 (No such file or directory)": the number and the C runtime's text for it.
template <>
TARNERROR_API void RenderValue<ErrorInfo_errno>(std::ostream& out, const int& value);
// "2 (The system cannot find the file specified)": the number and the system's
// message for it, in the ANSI code page, without its closing full stop.
template <>
TARNERROR_API void RenderValue<ErrorInfo_Win32Error>(std::ostream& out,
                                                     const unsigned long& value);
// A null name renders as "(null)".
template <>
TARNERROR_API void RenderValue<ErrorInfo_invalidArgumentName>(std::ostream& out,
                                                              const char* const& value);

// A narrow, displayable rendering of wide text: printable ASCII (0x20..0x7E,
// the backslash included) stays as it is; every other character, NUL and
// non-ASCII letters included, becomes \uXXXX with four upper-case hex digits.
// A length of 0xFFFFFFFF means that the text runs to its terminating NUL.
// Never fails except by running out of memory.
TARNERROR_API std::string UnicodeEscape(const wchar_t* text, unsigned length);

template <class Tag>
class ErrorInfoAttacher;

// The common root of every error. Not a std::exception itself: AsException
// reaches the standard face of the concrete class.
class TARNERROR_API Error {
public:
    Error(const Error& other);
    virtual ~Error();

    virtual const std::exception& AsException() const = 0;
    virtual std::exception& AsException() = 0;
    // A heap copy of the whole dynamic object; the caller owns it.
    virtual std::exception* Clone() const = 0;
    // Throws a copy of the whole dynamic object by its own class.
    virtual void Rethrow() const = 0;
    // Message, rendered details and throw site. Never throws, never null.
    virtual const char* what() const noexcept = 0;

    const std::string& GetMessageText() const { return message; }
    const Context& GetContext() const { return context; }
    std::size_t GetInfoCount() const { return infos.size(); }
    // The detail at index (attaching order); index must be below GetInfoCount.
    const ErrorInfoBase& GetInfoAt(std::size_t index) const { return *infos.at(index); }
    // The value of the first detail of Record, or null when there is none.
    template <class Record>
    const typename Record::value_type* GetInfo() const {
        for (const ErrorInfoPtr& info : infos) {
            if (info->GetType() == typeid(Record))
                return &static_cast<const ErrorInfoWrapper<Record>&>(*info).GetValue();
        }
        return nullptr;
    }

protected:
    Error(const std::string& message, const Context& context);
    Error& operator=(const Error& other);
    const char* WhatText() const noexcept { return whatText.c_str(); }

private:
    // Appends a detail. Reached by throw helpers through ErrorInfoAttacher, a
    // class template that each library specializes for a tag of its own.
    void AddInfo(const ErrorInfoPtr& info);
    void ComposeWhat();
    template <class Tag>
    friend class ErrorInfoAttacher;

    std::string message;
    Context context;
    std::vector<ErrorInfoPtr> infos;
    std::string whatText;
};

// The one way to attach a detail from outside the class: a library declares
// ErrorInfoAttacher<ItsOwnTag> and calls Attach from its throw helper.
template <class Tag>
class ErrorInfoAttacher {
public:
    static void Attach(Error& error, const ErrorInfoPtr& info) { error.AddInfo(info); }
};

// Failures of the environment: the system, the C runtime, the file system.
class TARNERROR_API RuntimeError : public Error, public std::runtime_error {
public:
    RuntimeError(const std::string& message, const Context& context);
    RuntimeError(const RuntimeError& other);
    RuntimeError& operator=(const RuntimeError& other);
    ~RuntimeError() override;

    const std::exception& AsException() const override;
    std::exception& AsException() override;
    RuntimeError* Clone() const override;
    void Rethrow() const override;
    const char* what() const noexcept override;
};

// Misuse that the caller could have avoided: an object in the wrong state.
class TARNERROR_API LogicError : public Error, public std::logic_error {
public:
    LogicError(const std::string& message, const Context& context);
    LogicError(const LogicError& other);
    LogicError& operator=(const LogicError& other);
    ~LogicError() override;

    const std::exception& AsException() const override;
    std::exception& AsException() override;
    LogicError* Clone() const override;
    void Rethrow() const override;
    const char* what() const noexcept override;
};

// An argument the callee refuses. Not a LogicError: handlers choose one or both.
class TARNERROR_API InvalidArgument : public Error, public std::invalid_argument {
public:
    InvalidArgument(const std::string& message, const Context& context);
    InvalidArgument(const InvalidArgument& other);
    InvalidArgument& operator=(const InvalidArgument& other);
    ~InvalidArgument() override;

    const std::exception& AsException() const override;
    std::exception& AsException() override;
    InvalidArgument* Clone() const override;
    void Rethrow() const override;
    const char* what() const noexcept override;
};

}  // namespace TarnError
