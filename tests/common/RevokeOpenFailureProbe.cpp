// The revocation tool's delivery of a request to a counter whose host name
// is empty: WinINet refuses the connection (ERROR_INVALID_PARAMETER), the
// handle opening fails, and revoke writes the failing call's code after the
// opening's own trace lines.
#include <windows.h>

#include <string.h>

#include "KEVOUserCertRevokeHttp.h"
#include "KEVOUserCertRevokeXML.h"
#include "TextBuffer.h"
#include "TraceLog.h"

int main()
{
    TraceInitLock();
    char host[] = "";
    SettingInfo info;
    memset(&info, 0, sizeof info);
    info.secure = 1;
    info.proxy_type = 1;  // direct
    info.hostname = host;
    info.port = 443;

    CREVOKE_Http http;
    CREVOKE_Xml xml;
    if (xml.m_strXML.SetData(L"<x/>") != 1)
        return 3;
    CTextBuffer reply;
    return http.revoke(&xml.m_strXML, &info, &reply) == -104 ? 0 : 1;
}
