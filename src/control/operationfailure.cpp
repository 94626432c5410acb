#include "control/operationfailure.h"

#include "base/apperror.h"
#include "control/actionerror.h"

using namespace Qt::StringLiterals;

namespace {

// Stands in for anything thrown that is not a standard exception, so it can still be reported.
class UnexpectedError final : public AppError
{
public:
    QString description() const override { return u"Unknown error"_s; }
    QString typeName() const override { return fallbackTypeName(); }

    static QString fallbackTypeName() { return u"UnexpectedError"_s; }
};

// Hands what was thrown to `use` as a standard exception; anything else stands in as an UnexpectedError.
template<typename Use>
void withException(const std::exception_ptr& error, Use use)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& thrown) {
        use(thrown);
        return;
    } catch (...) {
    }
    use(UnexpectedError());
}

} // namespace

OperationFailure OperationFailure::describe(std::exception_ptr error)
{
    OperationFailure failure{error, UnexpectedError::fallbackTypeName(), UnexpectedError().description()};
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const AppError& appError) {
        failure.typeName = appError.typeName();
        failure.description = appError.description();
    } catch (const std::exception& other) {
        // Only our own errors carry a fixed type name; runtime type text is not stable enough to key on.
        const QString what = QString::fromUtf8(other.what()).trimmed();
        if (!what.isEmpty())
            failure.description = what;
    } catch (...) {
    }
    return failure;
}

void OperationFailure::capture(TelemetryOperation operation, const TelemetryProperties& properties) const
{
    withException(error, [operation, &properties](const std::exception& thrown) {
        sharedTelemetryClient().captureError(thrown, operation, properties);
    });
}

void OperationFailure::reportProcessFailure(TelemetryOperation operation) const
{
    withException(error, [operation](const std::exception& thrown) { reportProcessActionFailure(thrown, operation); });
}

bool OperationFailure::failedBeforeStopping() const
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const ActionError& thrown) {
        using Kind = ActionError::Kind;
        return thrown.kind() == Kind::MissingProjectPath || thrown.kind() == Kind::MissingLaunchCommand ||
               thrown.kind() == Kind::LogUnavailable || thrown.kind() == Kind::CommandNotReplayable;
    } catch (...) {
    }
    return false;
}

std::optional<ServerLogSession> OperationFailure::failedLaunchSession() const
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const ActionError& thrown) {
        if (thrown.kind() == ActionError::Kind::LaunchFailed)
            return thrown.session();
    } catch (...) {
    }
    return std::nullopt;
}
