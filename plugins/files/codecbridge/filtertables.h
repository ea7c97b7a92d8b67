#pragma once
// The formats codecbridge offers: file-dialog filters for import, labels and
// converter options for export, and the sample formats of headerless PCM.
// The host hands the chosen string back, compared exactly.

inline constexpr const char* importfiltertable[] = {
    "Advanced Audio Coding (*.aac *.m4a *.m4b *.m4p *.m4v *.m4r *.mp4)",
    "Dolby Digital/Dolby Digital Plus (*.ac3 *.eac3)",
    "Apple AIFF (*.aif *.aiff *.aifc)",
    "Monkey's Audio (*.ape *.apl)",
    "Windows Media Audio (*.asf *.wma)",
    "Sun Microsystems (*.au *.snd)",
    "Apple Core Audio Format (*.caf)",
    "Digital Theater System (*.dts)",
    "Free Lossless Audio Codec (*.flac)",
    "MPEG-1 Audio Layer 2/3 (*.mp2 *.mp3)",
    "Musepack (*.mpc *.mp+ *.mpp)",
    "Video File (*.avi *.mxf *.mpeg *.mpg *.mts *.m2ts *.m2t *.ts *.mkv *.mov *.vob *.wmv)",
    "Vorbis/Theora/Speex (*.ogg *.ogv *.oga *.ogx *.spx)",
    "Real (*.rm *.ra)",
    "ATRAC1/ATRAC3 (*.aea *.at3)",
    "RAW/PCM (*.raw *.pcm)",
    "Dolby TrueHD (*.mlp)",
    "True Audio (*.tta)",
    "WAVE/WavPack (*.wav *.w64 *.wv *.rf64)",
    "Apple Lossless (*.alac *.m4a)",
};

// The one import filter that describes its input instead of letting the
// converter detect it.
inline constexpr const char* rawfilter = "RAW/PCM (*.raw *.pcm)";

struct ExportFormat
{
    const char* label;
    const char* options[7]; // converter options for the output, null-terminated
};

inline constexpr ExportFormat exporttable[] = {
    {"Dolby Digital 640kbps (*.ac3)", {"-ab", "640k"}},
    {"Advanced Audio Coding 256kbps (*.m4a)", {"-acodec", "aac", "-strict", "experimental", "-ab", "256k"}},
    {"Apple Core Audio Format 24bit (*.caf)", {"-acodec", "pcm_s24be"}},
    {"Apple Lossless (*.m4a)", {"-acodec", "alac"}},
    {"Apple AIFF 24bit (*.aiff)", {"-acodec", "pcm_s24be"}},
    {"RAW/PCM 32bit (*.pcm)", {"-f", "f32le"}},
    {"Free Lossless Audio Codec (*.flac)", {}},
    {"Vorbis 320kbps (*.ogg)", {"-ab", "320k"}},
    {"MPEG-1 Audio Layer 3 320kbps (*.mp3)", {"-ab", "320k"}},
    {"Microsoft WAV 24bit (*.wav)", {"-acodec", "pcm_s24le"}},
    {"Microsoft WAV 32bit (*.wav)", {"-acodec", "pcm_f32le"}},
    {"Windows Media Audio (*.wma)", {"-ab", "320k"}},
};

struct RawFormat
{
    const char* label;
    const char* format; // the converter's name of the sample format
};

inline constexpr RawFormat rawformattable[] = {
    {"8bit signed", "s8"},
    {"8bit unsigned", "u8"},
    {"16bit signed big-endian", "s16be"},
    {"16bit signed little-endian", "s16le"},
    {"16bit unsigned big-endian", "u16be"},
    {"16bit unsigned little-endian", "u16le"},
    {"24bit signed big-endian", "s24be"},
    {"24bit signed little-endian", "s24le"},
    {"24bit unsigned big-endian", "u24be"},
    {"24bit unsigned little-endian", "u24le"},
    {"32bit signed big-endian", "s32be"},
    {"32bit signed little-endian", "s32le"},
    {"32bit unsigned big-endian", "u32be"},
    {"32bit unsigned little-endian", "u32le"},
    {"32bit float big-endian", "f32be"},
    {"32bit float little-endian", "f32le"},
    {"64bit double big-endian", "f64be"},
    {"64bit double little-endian", "f64le"},
};
