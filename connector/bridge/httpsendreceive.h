#pragma once

#include "bridgebrowser.h"
#include "bridgereply.h"

#include <QByteArray>
#include <QUrl>

/// The bridge requests of the HTTP session windows. The module holds one
/// browser object, BridgeBrowser, which the windows create and release; every
/// request runs on whatever object it holds at the time. Requests are
/// asynchronous: each returns a BridgeReply that reports the answer text or a
/// clear error; nothing waits. A request made while no browser object exists
/// returns nullptr.
///
/// Texts are bytes (one byte per character); the windows convert at their
/// boundary through GameFolder::fromDisplay/toDisplay.
namespace HTTPSendReceive {

/// The module-wide browser object; nullptr until a window creates one.
BridgeBrowser *bridgeBrowser();
/// Creates a new, invisible browser object into BridgeBrowser (an earlier one
/// is released, its running requests end silently) and returns it.
BridgeBrowser *createBridgeBrowser();
/// Releases BridgeBrowser (the reference becomes empty); running requests end
/// silently, no signal reaches a closing window.
void releaseBridgeBrowser();

/// The bridge server address new browser objects start with: the build
/// setting HVD_BRIDGE_URL unless changed here (tests point it at their own
/// server).
QUrl defaultBridgeUrl();
void setDefaultBridgeUrl(const QUrl &url);
/// After how long the requests of new browser objects report that their
/// answer is slow (10 s unless changed); requests have no time limit.
int defaultSlowAnswerMs();
void setDefaultSlowAnswerMs(int ms);

/// Registers a game under `sessionName`; the answer is its Session ID.
BridgeReply *BridgeConnect(const QByteArray &sessionName);
/// Posts `data` for the role `owner` ("Host" or "Client") of session `key`;
/// every CR LF in the data goes out as "<br>".
BridgeReply *BridgeSendData(const QByteArray &key, const QByteArray &owner, const QByteArray &data);
/// Polls once for the message waiting for `owner`; the answer is exactly
/// "Wait" when nothing is waiting.
BridgeReply *BridgeGetData(const QByteArray &key, const QByteArray &owner);
/// Makes BridgeBrowser visible and loads the list of open sessions into it
/// (a window following the browser shows it).
BridgeReply *BridgeSessions();

/// The same four requests on a given browser object instead of the module's
/// one: a window that keeps its own object, so that two session windows can
/// run in one program (the end-to-end tests) without ending each other's
/// requests. nullptr when `browser` is null.
BridgeReply *BridgeConnect(BridgeBrowser *browser, const QByteArray &sessionName);
BridgeReply *BridgeSendData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner,
                            const QByteArray &data);
BridgeReply *BridgeGetData(BridgeBrowser *browser, const QByteArray &key, const QByteArray &owner);
BridgeReply *BridgeSessions(BridgeBrowser *browser);

/// The body conversion: when `text` is not empty, `bytes` becomes the text
/// with every blank as "+"; when it is empty, `bytes` is left as it was.
void ToPostBytes(QByteArray &bytes, const QByteArray &text);

/// The form texts of the requests, before ToPostBytes.
QByteArray connectForm(const QByteArray &sessionName);
QByteArray sendDataForm(const QByteArray &key, const QByteArray &owner, const QByteArray &data);
QByteArray getDataForm(const QByteArray &key, const QByteArray &owner);

/// The answer text of a page: the body's inner HTML as a browser reports it,
/// with every "<BR>" replaced by CR LF; empty for a page past AnswerLimits.
QByteArray answerText(const QByteArray &pageHtml);
/// The last step of answerText: every "<BR>" (capitals, exact) becomes CR LF.
QByteArray lineBreaksToCrLf(const QByteArray &innerHtml);

} // namespace HTTPSendReceive
