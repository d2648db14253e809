#include "search/registrable_domain.h"

#include <libpsl.h>

namespace vq {

std::optional<std::string> registrableDomain(const std::string& name)
{
    const psl_ctx_t* psl = psl_builtin();
    if (!psl)
        return std::nullopt;
    const size_t lastDot = name.rfind('.');
    const std::string top = lastDot == std::string::npos ? name : name.substr(lastDot + 1);
    if (top.empty() || !psl_is_public_suffix2(psl, top.c_str(), PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE))
        return std::nullopt;
    const char* domain = psl_registrable_domain(psl, name.c_str());
    if (!domain)
        return std::nullopt;
    return std::string(domain);
}

} // namespace vq
