// The program's messages in the page languages other than English, built
// from the gettext catalogues po/<lang>.po into a generated table
// (scripts/catalogue), so nothing is read at run time. The table holds
// offsets into one block of texts.
#ifndef S2N_CATALOGUES_H
#define S2N_CATALOGUES_H

enum { MESSAGE_LANG_SIZE = 16 };

// One row of S2N_MESSAGES in one language: offsets into message_texts of
// the English text and of its translation (the English text again while
// the catalogue has none).
struct MessageTranslation {
    unsigned text;
    unsigned translation;
};

// A language's rows: message_rows[first] onwards, count of them.
struct MessageCatalogue {
    char lang[MESSAGE_LANG_SIZE];  // the language's tag and template folder, "de"; ends in NUL
    unsigned first;
    unsigned count;
};

extern const char message_texts[];
extern const MessageTranslation message_rows[];
extern const MessageCatalogue message_catalogues[];
extern const unsigned message_catalogue_count;

// The message text in the language of that tag, or the text as it is: in
// English, in a language without a catalogue and for a text no row holds
// (another library's message).
const char *message_in(const char *text, const char *lang);

#endif
