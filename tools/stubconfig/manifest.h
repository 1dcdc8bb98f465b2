// Application manifests given with --manifest. Windows refuses to start an executable whose manifest
// it cannot parse ("the side-by-side configuration is incorrect"), so the tool checks a replacement
// before it writes one: well-formed UTF-8 XML whose root element is an assembly of the
// urn:schemas-microsoft-com:asm.v1 namespace with manifestVersion "1.0", as the loader requires.
// Nothing beyond that is checked: elements the loader does not know are ignored by it, too.
#pragma once

#include <string>
#include <string_view>

namespace stubconfig {

// Empty when `bytes` can be embedded as an application manifest, else what is wrong, as a phrase
// ("line 3: end tag </security> does not close <requestedPrivileges>", "not UTF-8 text").
std::string ManifestProblem(std::string_view bytes);

// The bytes to embed: the file without a UTF-8 byte-order mark, which the loader does not expect.
std::string_view ManifestToEmbed(std::string_view bytes);

}  // namespace stubconfig
