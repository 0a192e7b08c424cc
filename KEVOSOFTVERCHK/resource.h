// Resource ids of the version checker.
#ifndef KEVO_SOFTVERCHK_RESOURCE_H
#define KEVO_SOFTVERCHK_RESOURCE_H

#define IDS_VERCHK_CAPTION       101
#define IDS_VERCHK_NEWER_NOTICE  102
#define IDS_VERCHK_PROXY_PROMPT  103

#endif
