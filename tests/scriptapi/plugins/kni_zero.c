/* A plug-in whose entry point declines to serve. */
#include "scriptapi/library/KNI.h"

__attribute__((visibility("default"))) KNIObject* KNIEntryPoint(KNIObject* context)
{
    (void)context;
    return 0;
}
