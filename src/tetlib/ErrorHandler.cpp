#include "tetlib/ErrorHandler.h"

namespace TETLib {

namespace {

ErrorHandler* g_errorHandler = nullptr;

}  // namespace

bool ErrorHandler::Create()
{
    // A second Create must not lose the first object.
    if (!g_errorHandler)
        g_errorHandler = new ErrorHandler;
    return true;
}

void ErrorHandler::Destroy()
{
    if (!g_errorHandler)
        return;
    g_errorHandler->ClearMessages();
    delete g_errorHandler;
    g_errorHandler = nullptr;
}

ErrorHandler* ErrorHandler::Instance() { return g_errorHandler; }

}  // namespace TETLib
