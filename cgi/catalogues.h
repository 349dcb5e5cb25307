// The program's messages in the page languages other than English, built
// from the gettext catalogues po/<lang>.po into a generated table
// (scripts/catalogue), so nothing is read at run time.
#ifndef S2N_CATALOGUES_H
#define S2N_CATALOGUES_H

// One row of S2N_MESSAGES in one language; the English text while the
// catalogue has no translation.
struct MessageTranslation {
    const char *text;
    const char *translation;
};

struct MessageCatalogue {
    const char *lang;  // the language's tag and template folder, "de"
    const MessageTranslation *rows;
    unsigned count;
};

extern const MessageCatalogue message_catalogues[];
extern const unsigned message_catalogue_count;

// The message text in the language of that tag, or the text as it is: in
// English, in a language without a catalogue and for a text no row holds
// (another library's message).
const char *message_in(const char *text, const char *lang);

#endif
