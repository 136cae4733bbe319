// Compiled by the tests, never linked. Without a TK_WFMT_CASE_ macro every trace is right and the
// file must compile; each case adds one wrong trace that the compiler must reject.
#include "tk_log.hpp"

#include <cstddef>

void traces(const char16_t* name, char16_t letter, long native, std::size_t count, double ratio) {
    tk_wtrace(1, u"plain");
    tk_wtrace(1, u"'%s' %c %ld %zu %I64d %5.1f %p %d%%", name, letter, native, count, 1LL, ratio, name, 7);
    tk_wtrace(1, u"[%*d|%-*s|%.*s]", 4, 7, 3, u"ab", 2, name);
#if defined(TK_WFMT_CASE_narrow_text)
    tk_wtrace(1, u"'%s'", "narrow");
#elif defined(TK_WFMT_CASE_missing_argument)
    tk_wtrace(1, u"'%s' at %d", name);
#elif defined(TK_WFMT_CASE_extra_argument)
    tk_wtrace(1, u"'%s'", name, 1);
#elif defined(TK_WFMT_CASE_size_for_d)
    tk_wtrace(1, u"%d rows", count);
#endif
}
