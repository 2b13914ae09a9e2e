// setupcheck.exe in the end-to-end tests: every package a test hands to
// Setup goes through it first, and its verdicts can be set against what
// Setup then does.
#pragma once

#include <string>

namespace e2e {

// setupcheck.exe with `arguments`: its exit status (-1 when it could not be
// started) and its standard output.
int RunSetupcheck(const std::string& arguments, std::string* output);

// Checks the package before Setup runs it (called by RunSetup): its errors
// and warnings, as "line:kind" items, must be those that
// tests/e2e/package_findings.txt lists for the running test, and none where
// it lists nothing. SETUP_E2E_CHECK=0 in the environment turns this off.
void CheckPackageBeforeRun(const std::string& packageDir);

}  // namespace e2e
