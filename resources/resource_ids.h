/* Identifiers of the conduit's resources: the action dialog's templates,
   controls, strings and bitmaps. Read by the resource compiler and by C++. */
#ifndef QUORVIA_RESOURCE_IDS_H
#define QUORVIA_RESOURCE_IDS_H

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDD_ACTION_CURRENT 101
#define IDD_ACTION_PLAIN 399

#define IDC_ACTION_GROUP 403
#define IDC_SYNC 404
#define IDC_PC_TO_HH 405
#define IDC_HH_TO_PC 406
#define IDC_DO_NOTHING 407
#define IDC_SET_DEFAULT 411
#define IDC_HELP_BUTTON 9
#define IDC_SYNC_BITMAP 1000
#define IDC_PC_TO_HH_BITMAP 1001
#define IDC_HH_TO_PC_BITMAP 1002
#define IDC_DO_NOTHING_BITMAP 1003
#define IDC_DEFAULT_TEXT 1004
#define IDC_NEXT_TEXT 1005
#define IDC_CURRENT_GROUP 1006

#define IDB_SYNC 103
#define IDB_PC_TO_HH 104
#define IDB_HH_TO_PC 105
#define IDB_DO_NOTHING 106

#define IDS_CURRENT_SETTINGS 8004
#define IDS_SYNC 8005
#define IDS_PC_TO_HH 8006
#define IDS_HH_TO_PC 8007
#define IDS_DO_NOTHING 8008
#define IDS_ACTION_GROUP 8009

#endif
