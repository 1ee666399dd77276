#include "TarnError/Error.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <sstream>

namespace TarnError {

ErrorInfoBase::ErrorInfoBase() {}
ErrorInfoBase::~ErrorInfoBase() {}

template <>
void RenderValue<ErrorInfo_errno>(std::ostream& out, const int& value) {
    out << value;
    // strerror of the C runtime this module is linked against, which is the
    // one whose errno values callers see.
    const char* text = std::strerror(value);
    if (text && *text)
        out << " (" << text << ')';
}

template <>
void RenderValue<ErrorInfo_Win32Error>(std::ostream& out, const unsigned long& value) {
    out << value;
    char* text = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, value, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return;
    // System messages end with ".\r\n"; a detail reads better without them.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == ' ' || text[length - 1] == '.'))
        --length;
    if (length > 0)
        out << " (" << std::string(text, length) << ')';
    ::LocalFree(text);
}

template <>
void RenderValue<ErrorInfo_invalidArgumentName>(std::ostream& out, const char* const& value) {
    out << (value ? value : "(null)");
}

std::string UnicodeEscape(const wchar_t* text, unsigned length) {
    if (length == 0xFFFFFFFFu)
        length = static_cast<unsigned>(std::wcslen(text));
    std::string result;
    result.reserve(length);
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned i = 0; i < length; ++i) {
        unsigned c = static_cast<unsigned short>(text[i]);
        if (c >= 0x20 && c <= 0x7E) {
            result += static_cast<char>(c);
        } else {
            char escaped[6] = {'\\', 'u', hex[(c >> 12) & 0xF], hex[(c >> 8) & 0xF],
                               hex[(c >> 4) & 0xF], hex[c & 0xF]};
            result.append(escaped, sizeof escaped);
        }
    }
    return result;
}

Error::Error(const std::string& message, const Context& context)
    : message(message), context(context) {
    ComposeWhat();
}

Error::Error(const Error& other) = default;
Error& Error::operator=(const Error& other) = default;
Error::~Error() {}

void Error::AddInfo(const ErrorInfoPtr& info) {
    infos.push_back(info);
    try {
        ComposeWhat();
    } catch (...) {
        infos.pop_back();  // keep what() and the details in agreement
        throw;
    }
}

void Error::ComposeWhat() {
    std::ostringstream out;
    out << message;
    if (!infos.empty()) {
        out << " [";
        for (std::size_t i = 0; i < infos.size(); ++i) {
            if (i > 0)
                out << ", ";
            out << infos[i]->GetName() << '=';
            infos[i]->Render(out);
        }
        out << ']';
    }
    if (context.function)
        out << " at " << context.function << " (" << (context.file ? context.file : "?") << ':'
            << context.line << ')';
    std::string text = out.str();
    whatText.swap(text);
}

// The three concrete roots differ only in their standard base.
#define TARNERROR_DEFINE_ROOT(Class, StdBase)                                          \
    Class::Class(const std::string& message, const Context& context)                  \
        : Error(message, context), StdBase(message) {}                                 \
    Class::Class(const Class& other) = default;                                        \
    Class& Class::operator=(const Class& other) = default;                             \
    Class::~Class() {}                                                                 \
    const std::exception& Class::AsException() const { return *this; }                 \
    std::exception& Class::AsException() { return *this; }                             \
    Class* Class::Clone() const { return new Class(*this); }                           \
    void Class::Rethrow() const { throw Class(*this); }                                \
    const char* Class::what() const noexcept { return WhatText(); }

TARNERROR_DEFINE_ROOT(RuntimeError, std::runtime_error)
TARNERROR_DEFINE_ROOT(LogicError, std::logic_error)
TARNERROR_DEFINE_ROOT(InvalidArgument, std::invalid_argument)

#undef TARNERROR_DEFINE_ROOT

}  // namespace TarnError
