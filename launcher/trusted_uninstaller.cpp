#include "trusted_uninstaller.h"

#include "trust_rule.h"

HANDLE hold_trusted_uninstaller(const WCHAR *own_name)
{
    return trust_rule::hold<false>(own_name, /*findings=*/NULL);
}
