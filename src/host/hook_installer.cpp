#include "host/hook_installer.h"

#include "host/image_validation.h"
#include "log/diagnostic_log.h"

namespace driftglass {

bool InstallHooks(const HookInstallRequest& request, HookInstallation& installation,
                  DiagnosticLog& /*log*/, std::wstring& errorText) {
  installation.mappings = EngineMappings{};
  if (!ValidateHostAndResolve(request.hostImageBase, installation.mappings, errorText)) {
    return false;
  }
  // Detour creation is not part of this build yet: refuse rather than pretend hooks are active.
  errorText = L"engine hooks are not available in this build";
  return false;
}

}  // namespace driftglass
