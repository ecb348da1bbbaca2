#pragma once

#include "bridgebrowser.h"
#include "bridgereply.h"

#include <QByteArray>
#include <QUrl>

/// The bridge requests of the HTTP sessions. Each session keeps its own
/// browser object (so that two sessions can run in one program without
/// ending each other's requests) and makes its requests on it. Requests are
/// asynchronous: each returns a BridgeReply that reports the answer text or a
/// clear error; nothing waits. A request on no browser object returns
/// nullptr.
///
/// Texts are bytes (one byte per character); the windows convert at their
/// boundary through GameFolder::fromDisplay/toDisplay.
namespace HTTPSendReceive {

/// The bridge server address of the build setting HVD_BRIDGE_URL.
QUrl defaultBridgeUrl();

/// The longest hold a poll asks for, in seconds, however long the bridge
/// would hold it.
constexpr int MaxWaitSeconds = 25;
/// How much longer than its hold a held poll waits for its answer before it
/// counts as failed.
constexpr int HeldPollGraceSeconds = 10;

/// Registers a game under `sessionName`; the answer is its Session ID.
BridgeReply *BridgeConnect(BridgeBrowser *browser, const QByteArray &sessionName);
/// Posts `data` for the role `owner` ("Host" or "Client") of session `key`;
/// every CR LF in the data goes out as "<br>".
BridgeReply *BridgeSendData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner,
                            const QByteArray &data);
/// Polls once for the message waiting for `owner`; the answer is exactly
/// "Wait" when nothing is waiting. With `waitSeconds` above 0 (only for a
/// bridge that announced holding) the form carries "&WaitSeconds=" and the
/// poll may be held that long; it fails when no answer came
/// HeldPollGraceSeconds later.
BridgeReply *BridgeGetData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner,
                           int waitSeconds = 0);
/// Makes the browser visible and loads the list of open sessions into it
/// (a window following the browser shows it).
BridgeReply *BridgeSessions(BridgeBrowser *browser);

/// The body conversion: when `text` is not empty, `bytes` becomes the text
/// with every blank as "+"; when it is empty, `bytes` is left as it was.
void ToPostBytes(QByteArray &bytes, const QByteArray &text);

/// The form texts of the requests, before ToPostBytes.
QByteArray connectForm(const QByteArray &sessionName);
QByteArray sendDataForm(const QByteArray &key, const QByteArray &owner, const QByteArray &data);
QByteArray getDataForm(const QByteArray &key, const QByteArray &owner, int waitSeconds = 0);

/// The answer text of a page: the body's inner HTML as a browser reports it,
/// with every "<BR>" replaced by CR LF; empty for a page past AnswerLimits.
QByteArray answerText(const QByteArray &pageHtml);
/// The last step of answerText: every "<BR>" (capitals, exact) becomes CR LF.
QByteArray lineBreaksToCrLf(const QByteArray &innerHtml);

} // namespace HTTPSendReceive
