// The checks' reports to the error handler, against a container, a tag or
// nothing; nothing is kept while there is no error handler.
#pragma once

#include "nyx/base/PString.h"
#include "tetlib/container/Container.h"
#include "tetlib/errors/ErrorHandler.h"
#include "tetlib/tag/Tag.h"

namespace TETLib {

inline void ReportErrorAgainst(const Container& container, const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportError(text, container.Serial());
}
inline void ReportErrorAgainst(const Tag& tag, const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportError(text, tag.Serial());
}
inline void ReportWarningAgainst(const Container& container, const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportWarning(text, container.Serial());
}
inline void ReportWarningAgainst(const Tag& tag, const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportWarning(text, tag.Serial());
}
inline void ReportPlainError(const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportError(text);
}
inline void ReportPlainWarning(const Nyx::PString& text)
{
    if (ErrorHandler* handler = ErrorHandler::Instance())
        handler->ReportWarning(text);
}

}  // namespace TETLib
