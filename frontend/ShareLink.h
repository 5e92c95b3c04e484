// ShareLink.h - a run as a link: the page's address with the fragment
// `#session=` followed by the session's text compressed with raw DEFLATE
// (RFC 1951) and encoded as base64url without padding (RFC 4648, section 5).
// The page makes such links (Share) and replays them; the desktop replays
// them too, wherever it takes a session file (--replay LINK).
//
// A link is input from strangers: it is refused, in one sentence, when its
// text is not base64url, its stream is not raw DEFLATE or ends early, it
// inflates to more than maxLinkSessionBytes, or the session it holds is one
// the reader refuses.
#pragma once

#include <cstddef>

constexpr const char* shareLinkMarker = "#session=";
// The most session text a link may carry, inflated: far beyond any session
// a person makes in a sitting (a line is at most 200 bytes), and small
// enough to hold in memory anywhere, a phone's page included.
constexpr std::size_t maxLinkSessionBytes = 4 * 1024 * 1024;
// The longest link the page offers. Longer addresses are cut or refused by
// many chat and mail programs and by web servers, whose common limit for a
// request line is 8 KiB; a longer run is offered as a session file instead.
constexpr std::size_t maxShareLinkLength = 8000;
