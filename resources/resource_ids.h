/* Numbers shared by the resource script and the C++ code: command ids,
   control ids, dialog templates, string tables and images. Plain #defines
   only, so that windres and rc.exe can read this file too. */
#ifndef TESSMAR_RESOURCE_IDS_H
#define TESSMAR_RESOURCE_IDS_H

/* Accelerator commands */
#define IDM_CONNECT            0x100
#define IDM_DISCONNECT         0x101

/* Menu commands */
#define IDM_EXIT               0x102
#define IDM_SETTINGS           0x103
#define IDM_ABOUT              0x104
#define IDM_TIMER_START        0x107
#define IDM_TIMER_STOP         0x108
#define IDM_CLEAR_DEBUG        0x109
#define IDM_CLEAR_RECV         0x10E
#define IDM_ABORT_CAPTURE      40001
#define IDM_BL_GET_CRC         40002
#define IDM_APP_RESET          40003
#define IDM_CLEAR_ALL          40004
#define IDM_READ_FLASH         40005
#define IDM_RESET_FLASH_VARS   40006
#define IDM_SEND_ONE_WRITE     40007
#define IDM_GET_SEQ_NUM        40008
#define IDM_GET_BL_ATTR        40009
#define IDM_CONTINUE_FWUG      40010
#define IDM_POP_DEBUG          40011
#define IDM_READ_EEPROM        40012
#define IDM_WRITE_EEPROM       40013

/* Buttons, fields and panes of the main window */
#define BTN_VERSION            0x10A
#define BTN_RESET3856          0x10B
#define EDIT_SIZE              0x112
#define ID_RESET_RSVP          0x113   /* follow-up of BTN_RESETCMD: its answer is evaluated under this id */
#define BTN_RESETCMD           0x114
#define EDIT_DEST              0x115
#define EDIT_PROGRESS          0x120
#define EDIT_RECV              0x121
#define EDIT_ENCFILE           0x122
#define EDIT_DEBUG             0x123
#define BTN_CAP                0x124
#define BTN_FIND               0x125
#define ID_FWUG_INPROCESS      0x126
#define BTN_GO                 0x128
#define BTN_SEND               0x130

/* Sequencer timer */
#define TIMER_SEQ              0x106

/* Resources */
#define IDD_ABOUT              100
#define IDD_SETTINGS           101
#define IDR_ACCELERATORS       102
#define IDR_MAINMENU           103
#define IDI_MAIN               104
#define IDI_ABOUT              105
#define IDB_ABOUT              106
#define IDD_READ_DATA          108
#define IDD_READ_E2            111
#define IDD_WRITE_DATA         558
#define IDC_ABOUT_ICON         528

/* Settings dialog controls */
#define IDC_PORT_LIST          544
#define IDC_BAUD_LIST          545
#define IDC_DATABITS_LIST      546
#define IDC_PARITY_LIST        547
#define IDC_STOPBITS_LIST      548
#define IDC_FLOW_DTRDSR        549
#define IDC_FLOW_RTSCTS        550
#define IDC_FLOW_XONXOFF       551
#define IDC_OPT_AUTOWRAP       552
#define IDC_OPT_NEWLINE        553
#define IDC_OPT_LOCALECHO      554
#define IDC_FONT_BUTTON        555
#define IDC_OPT_CNRECEIVE      556
#define IDC_OPT_DISPERRORS     557

/* Parameter dialog controls */
#define IDC_E2_ADDR_MSB        1008
#define IDC_WRITE_ADDR         1011
#define IDC_WRITE_OFFSET       1012
#define IDC_WRITE_LENGTH       1013
#define IDC_E2_VALUE           1014
#define IDC_FLASH_ADDR         1015
#define IDC_RFU                1016
#define IDC_READ_COUNT         1017
#define IDC_E2_ADDR            1018

/* String tables */
#define IDS_COM_PREFIX         784
#define IDS_BAUD_FIRST         800   /* 800..812 */
#define IDS_PARITY_FIRST       816   /* 816..820 */
#define IDS_STOPBITS_FIRST     832   /* 832..834 */

#endif
