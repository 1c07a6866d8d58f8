// Opening a node's web address in the desktop's browser. The handler program is started
// directly with the address as one argument (never through a shell), so no id can smuggle in a
// command.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvo {

/// True when the id is an http or https address that can be handed to a browser: the scheme
/// (any case), "://", a host, and no blank or control byte.
bool isWebUrl(std::string_view id);

/// The command that opens an address, as program and arguments; "%s" stands for the address
/// (appended when no argument holds it). From $ORVO_URL_HANDLER, else the first entry of
/// $BROWSER (entries separated by ':'), else xdg-open. Words are split at blanks only.
std::vector<std::string> urlHandlerCommand();

/// Starts the handler for the address and does not wait for it. false, with the reason in
/// error, when the address is not a web address or the program cannot be started.
bool openUrl(const std::string& url, std::string& error);

}  // namespace orvo
