// The history copy's file "met.mtb": the image kept between runs, as 4096 lines of 16 upper-case
// hex digits with CR LF, then the diagram quantity as two hex digits without a line end (73,730
// bytes). It lives in the current directory unless a path is given.
#pragma once

#include "core/history_state.h"
#include "os/atomic_file.h"

#include <QByteArray>
#include <QString>

inline const QString HistoryFileName = QStringLiteral("met.mtb");
constexpr int HistoryFileSize = HistoryRecordCount * 18 + 2; // 73730

enum class THistoryLoadOutcome {
    Loaded,     // every record was converted (the quantity may be missing: it keeps its value)
    Missing,    // no file: the image is all 255, nothing to report
    Empty,      // a file without a single pair (0 bytes): no records, nothing to report
    Truncated,  // the text ends before the last record: the records read, the rest kept
    Unreadable, // the file exists but cannot be opened or read: the image is all 255
    BadPair,    // a pair is not hexadecimal: the bytes before it are converted, the rest kept
    Oversized   // more than the records and the quantity (beyond one line end): not a file this
                // program wrote; every record and the quantity were read, the rest is not
};

struct THistoryLoadResult
{
    THistoryLoadOutcome Outcome = THistoryLoadOutcome::Loaded;
    // For the user, naming the file: what was wrong with it. Empty for Loaded, Missing and Empty.
    QString Message;
    // Whole records converted.
    int RecordsRead = 0;

    // Whether the image may be written back over the file at close. After a bad pair, a cut, an
    // oversized or an unreadable file it may not: the user's file would be replaced by a part of
    // it (or nothing).
    bool ImageComplete() const
    {
        return Outcome == THistoryLoadOutcome::Loaded || Outcome == THistoryLoadOutcome::Missing ||
            Outcome == THistoryLoadOutcome::Empty;
    }
};

// Reads the history file into the state's image and quantity. Never throws. The image is all 255
// first, so that whatever the file does not hold is an empty record; a missing file is no error, a
// file that cannot be read, ends early or holds a bad pair gives the message for the user.
THistoryLoadResult LoadHistoryFile(THistoryState& state, const QString& path = HistoryFileName);

// The conversion on its own: the first 4097 lines (ending at LF or CR LF) joined, then read as
// pairs of hex digits (either case): pair k < 32768 is image byte k, pair 32768 the quantity.
// Bytes the text does not reach keep their value. Anything after the quantity but one line end
// makes the text Oversized. `fileName` only goes into the messages.
THistoryLoadResult ConvertHistoryText(const QByteArray& text, THistoryImage& image, std::uint8_t& quantity,
                                      const QString& fileName = HistoryFileName);

// The file's bytes for an image and quantity.
QByteArray HistoryFileBytes(const THistoryImage& image, std::uint8_t quantity);

// Whether the file at `path` holds exactly `bytes` (a file that cannot be read does not).
bool HistoryFileHolds(const QByteArray& bytes, const QString& path = HistoryFileName);

// Replaces the history file atomically (temporary file beside it, flushed to disk, renamed over
// it): on any failure the old file stays whole and os::EFileError is thrown.
void SaveHistoryFile(const THistoryState& state, const QString& path = HistoryFileName);
