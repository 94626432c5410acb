#include "base/apperror.h"

#include <cstring>

SystemError::SystemError(int code, QString context)
    : m_code(code)
    , m_context(std::move(context))
{}

QString SystemError::description() const
{
    return QString::fromLocal8Bit(std::strerror(m_code));
}
