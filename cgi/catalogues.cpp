// Message lookup in the generated catalogue table.
#include <string.h>
#include "catalogues.h"


// Compares texts, not pointers: the configuration library hands back texts
// of its own ("save failed").
const char *message_in(const char *text, const char *lang)
{
    if (!lang)
        return text;
    for (unsigned i = 0; i < message_catalogue_count; ++i) {
        const MessageCatalogue &cat = message_catalogues[i];
        if (strcmp(cat.lang, lang) != 0)
            continue;
        for (unsigned k = cat.first; k < cat.first + cat.count; ++k)
            if (strcmp(message_texts + message_rows[k].text, text) == 0)
                return message_texts + message_rows[k].translation;
        break;
    }
    return text;
}
