#include "codepage/codepage.h"

namespace codepage {

const CodePage &systemCodePage()
{
    static const Latin1Converter latin1;
    static const CodePage page(latin1);
    return page;
}

} // namespace codepage
