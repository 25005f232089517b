#include "trusted_uninstaller.h"

#include "trust_rule.h"

HANDLE hold_uninstaller_explained(TrustFindings *findings)
{
    findings->count = 0;
    return trust_rule::hold<true>(/*own_name=*/NULL, findings);
}
