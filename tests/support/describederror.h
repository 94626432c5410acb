#pragma once

#include "base/apperror.h"

// An error with a given description, for tests of what the app does with any AppError.
class DescribedError final : public AppError
{
public:
    explicit DescribedError(QString text)
        : m_text(std::move(text))
    {}
    QString description() const override { return m_text; }
    QString typeName() const override { return QStringLiteral("DescribedError"); }

private:
    QString m_text;
};
