#pragma once

#include <QByteArray>
#include <QString>

class GameFolder;

// Army rows and save files seen from the other end of the board, the side
// letters, and the object numbers of the two views. Names of files are game
// folder names (see GameFolder).

/// The half-turn of one army row: its cells (four characters each) in reverse
/// order. A short row gives only the cells it has; characters after the 160th
/// are dropped.
QByteArray halfTurnRow(const QByteArray &row);

/// True when the line holds nothing but blanks: no army row for FlipSave and
/// the completion steps, which skip it.
bool isBlankLine(const QByteArray &line);

/// Marks the flag codes "001" to "012" of a row with the side letter ('B' or
/// 'R'): "001" becomes "B01" and so on.
QByteArray markSide(const QByteArray &row, char side);

/// Half-turns an army file without its header into a new file, which starts
/// with an empty line. On failure: false and the error text.
bool FlipArmySave(const GameFolder &folder, const QString &inputFile, const QString &outputFile,
                  QString *error);

/// Half-turns a save file body, keeping its first line and skipping blank
/// lines. On failure: false and the error text.
bool FlipSave(const GameFolder &folder, const QString &inputFile, const QString &outputFile,
              QString *error);

/// The number of "B" and "R" characters of the text, as a 16-bit number.
qint16 maxCount(const QByteArray &sav);

/// The object number of the same flag in the other player's view:
/// (objectCount + 5000) - objId + 5001, in 16-bit arithmetic that wraps.
qint16 flipObjectID(qint16 objectCount, qint16 objId);
