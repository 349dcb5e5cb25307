// Message lookup in the generated catalogue table.
#include "catalogues.h"

#include "text.h"

// Compares texts, not pointers: the configuration library hands back texts
// of its own ("save failed").
const char *message_in(const char *text, const char *lang)
{
    if (!lang)
        return text;
    for (unsigned i = 0; i < message_catalogue_count; ++i) {
        const MessageCatalogue &cat = message_catalogues[i];
        if (!text_equal(cat.lang, lang))
            continue;
        for (unsigned k = cat.first; k < cat.first + cat.count; ++k)
            if (text_equal(message_texts + message_rows[k].text, text))
                return message_texts + message_rows[k].translation;
        break;
    }
    return text;
}
