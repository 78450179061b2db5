/* The Library tests' plug-in: "Init" answers "ready", "Echo" its string
 * arguments joined by "," (a null one as empty), anything else nothing. */
#include <stdlib.h>
#include <string.h>

#include "scriptapi/library/KNI.h"

static const KNIFunctions* kni;

static KNIObject* Echo(KNIObject* arguments)
{
    uint32_t count = kni->GetArrayLength(arguments);
    size_t size = 1;
    for (uint32_t i = 0; i < count; ++i) {
        const char* text = kni->GetStringText(kni->GetArrayElement(arguments, i));
        size += (text ? strlen(text) : 0) + 1;
    }
    char* joined = malloc(size);
    if (!joined)
        return NULL;
    joined[0] = '\0';
    for (uint32_t i = 0; i < count; ++i) {
        const char* text = kni->GetStringText(kni->GetArrayElement(arguments, i));
        if (i > 0)
            strcat(joined, ",");
        if (text)
            strcat(joined, text);
    }
    KNIObject* answer = kni->AllocString(joined);
    free(joined);
    return answer;
}

/* Exported as well, so a bench can call it directly beside the tool's road. */
__attribute__((visibility("default"))) KNIObject* KNIEchoCall(void* state, const char* function,
                                                              KNIObject* arguments);

KNIObject* KNIEchoCall(void* state, const char* function, KNIObject* arguments)
{
    (void)state;
    if (strcmp(function, "Init") == 0)
        return kni->AllocString("ready");
    if (strcmp(function, "Echo") == 0)
        return Echo(arguments);
    if (strcmp(function, "Count") == 0) {
        char text[16];
        unsigned count = kni->GetArrayLength(arguments);
        int i = 15;
        text[i] = '\0';
        do {
            text[--i] = (char)('0' + count % 10);
            count /= 10;
        } while (count && i > 0);
        return kni->AllocString(text + i);
    }
    return NULL;
}

__attribute__((visibility("default"))) KNIObject* KNIEntryPoint(KNIObject* context)
{
    kni = KNI_FUNCTIONS(context);
    return kni->AllocLibrary(context, KNIEchoCall, NULL, NULL);
}
