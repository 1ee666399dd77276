#include "TarnIO/Error.h"

namespace TarnIO {

// All six classes are the TarnError::RuntimeError part and nothing else;
// only Clone and Rethrow know the dynamic class.
#define TARNIO_DEFINE_ERROR(Class, Base)                                                    \
    Class::Class(const std::string& message, const TarnError::Context& context)            \
        : Base(message, context) {}                                                         \
    Class::Class(const Class& other) = default;                                             \
    Class& Class::operator=(const Class& other) = default;                                  \
    Class::~Class() {}                                                                      \
    Class* Class::Clone() const { return new Class(*this); }                                \
    void Class::Rethrow() const { throw Class(*this); }

TARNIO_DEFINE_ERROR(Error, TarnError::RuntimeError)
TARNIO_DEFINE_ERROR(FileError, Error)
TARNIO_DEFINE_ERROR(FileOpenError, FileError)
TARNIO_DEFINE_ERROR(FileReadError, FileError)
TARNIO_DEFINE_ERROR(FileWriteError, FileError)
TARNIO_DEFINE_ERROR(PathError, Error)

#undef TARNIO_DEFINE_ERROR

}  // namespace TarnIO
