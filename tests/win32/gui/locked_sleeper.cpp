// locked-sleeper [MS]: a process that only waits (default two minutes), like
// the sleeper, but first takes the right to terminate it away from everyone:
// its own access list grants reading and querying only. A scan then finds it
// running and cannot end it, so the memory stage falls back on the service
// route and, when that fails too, on asking for a restart.
#include <windows.h>

#include <aclapi.h>

#include <cstdlib>

// A large initialized region of its own section, never read or executed:
// write-sample turns a copy of this program into a file that carries a
// signature's patterns (samples/runnable_sample.h) and still runs.
__attribute__((section(".pad"), used)) volatile unsigned char g_pad[192 * 1024] = {1};

namespace {

// Replaces the process's access list with one granting everyone only what
// listing a process and reading its image path need.
bool refuseTermination() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return false;
  EXPLICIT_ACCESSA access = {};
  access.grfAccessPermissions =
      PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE |
      READ_CONTROL;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
  PACL list = nullptr;
  bool done = SetEntriesInAclA(1, &access, nullptr, &list) == ERROR_SUCCESS &&
              SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;
  if (list) LocalFree(list);
  FreeSid(everyone);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD milliseconds = argc > 1 ? DWORD(std::strtoul(argv[1], nullptr, 10)) : 120000;
  if (!refuseTermination()) return 1;
  Sleep(milliseconds);
  return 0;
}
