// The protocol vocabulary shared by the kernel, the client program and the server: field
// sizes, the four records with their exact byte layout, and every enumeration and mask.
// Records travel as raw bytes (little-endian, natural alignment, padding included).
#pragma once

#include <cstddef>
#include <cstdint>

// Field sizes: each includes the terminating zero, so a text holds one character less.
enum OV_FLD_MAXLEN_DEF : int32_t {
    OV_USERNAME_SIZE = 17,
    OV_PASSWORD_SIZE = 17,
    OV_NICKNAME_SIZE = 17,
    OV_FIRSTNAME_SIZE = 17,
    OV_LASTNAME_SIZE = 17,
    OV_EMAIL_SIZE = 65,
    OV_PHONE_SIZE = 33,
    OV_MOBILE_SIZE = 33,
    OV_HOMEPAGE_SIZE = 65,
    OV_ABOUT_SIZE = 257,
    OV_MSG_SIZE = 513,
    OV_URL_SIZE = 257,
    OV_G_NAME_SIZE = 129,
    OV_G_TITLE_SIZE = 129,
    OV_G_PASSWD_SIZE = 17,
    OV_LG_NAME_SIZE = 65,
    OV_DISPLAYNAME_SIZE = 33,
    OV_SERVER_ADDR_SIZE = 257,
    OV_MAX_COMPONENTS = 10,
};

struct OV_USER_INFO {
    uint32_t nMask;
    uint32_t nPin;
    char sUserName[OV_USERNAME_SIZE];
    char sPassword[OV_PASSWORD_SIZE];
    char sNickName[OV_NICKNAME_SIZE];
    char sFirstName[OV_FIRSTNAME_SIZE];
    char sLastName[OV_LASTNAME_SIZE];
    char sEMail[OV_EMAIL_SIZE];
    uint16_t nLanguage;
    uint32_t nLocation;
    uint8_t nAgeRange;
    uint8_t nSex;
    uint8_t nCareer;
    uint8_t reserved1;
    uint32_t nIcon;
    uint32_t nMode;
    uint16_t nAge;
    uint16_t nLanguage1;
    uint16_t nLanguage2;
    uint16_t nLanguage3;
    char sEMail1[OV_EMAIL_SIZE];
    char sEMail2[OV_EMAIL_SIZE];
    char sPhone[OV_PHONE_SIZE];
    char sMobile[OV_MOBILE_SIZE];
    char sHomepage[OV_HOMEPAGE_SIZE];
    char sAbout[OV_ABOUT_SIZE];
    uint8_t reserved2[2];
    uint32_t nOnlineStatus;
};

struct OV_GROUP_INFO {
    uint32_t nMask;
    uint16_t nGroupType;
    uint8_t reserved1[2];
    uint32_t nGroupID;
    uint32_t nGroupMode;
    char sGroupName[OV_G_NAME_SIZE];
    uint8_t reserved2[3];
    uint32_t nOnlineUserCount;
    uint32_t nRegisteredUserCount;
};

struct OV_SERVER_INFO {
    char sServerAddr[OV_SERVER_ADDR_SIZE];
    uint8_t reserved1;
    uint16_t nServerPort;
};

struct OV_BUDDY_TREE_NODE {
    int32_t bIsBuddyGroup;
    uint32_t nBuddyNodeID;
    char sDisplayName[OV_DISPLAYNAME_SIZE];
    uint8_t reserved1[3];
    uint32_t nBuddyNodeMode;
    char sUserName[OV_USERNAME_SIZE];
    char sNickName[OV_NICKNAME_SIZE];
    uint8_t nAgeRange;
    uint8_t reserved2;
    uint32_t nIcon;
    uint8_t nSex;
    uint8_t reserved3[3];
    uint32_t nParentBuddyGroupID;
    uint32_t nOnlineStatus;
};

static_assert(sizeof(OV_USER_INFO) == 708);
static_assert(offsetof(OV_USER_INFO, sPassword) == 25);
static_assert(offsetof(OV_USER_INFO, sEMail) == 93);
static_assert(offsetof(OV_USER_INFO, nLanguage) == 158);
static_assert(offsetof(OV_USER_INFO, nLocation) == 160);
static_assert(offsetof(OV_USER_INFO, nCareer) == 166);
static_assert(offsetof(OV_USER_INFO, nIcon) == 168);
static_assert(offsetof(OV_USER_INFO, nAge) == 176);
static_assert(offsetof(OV_USER_INFO, sEMail1) == 184);
static_assert(offsetof(OV_USER_INFO, sPhone) == 314);
static_assert(offsetof(OV_USER_INFO, sHomepage) == 380);
static_assert(offsetof(OV_USER_INFO, sAbout) == 445);
static_assert(offsetof(OV_USER_INFO, nOnlineStatus) == 704);
static_assert(sizeof(OV_GROUP_INFO) == 156);
static_assert(offsetof(OV_GROUP_INFO, nGroupID) == 8);
static_assert(offsetof(OV_GROUP_INFO, sGroupName) == 16);
static_assert(offsetof(OV_GROUP_INFO, nOnlineUserCount) == 148);
static_assert(sizeof(OV_SERVER_INFO) == 260);
static_assert(offsetof(OV_SERVER_INFO, nServerPort) == 258);
static_assert(sizeof(OV_BUDDY_TREE_NODE) == 100);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nBuddyNodeMode) == 44);
static_assert(offsetof(OV_BUDDY_TREE_NODE, sUserName) == 48);
static_assert(offsetof(OV_BUDDY_TREE_NODE, sNickName) == 65);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nAgeRange) == 82);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nIcon) == 84);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nSex) == 88);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nParentBuddyGroupID) == 92);
static_assert(offsetof(OV_BUDDY_TREE_NODE, nOnlineStatus) == 96);

// Node identifiers below this are buddy groups; from it on they are user PINs.
constexpr uint32_t OV_FIRST_USER_PIN = 1000;

enum OVClientCommandEnum : int32_t {
    OV_CCMD_ACK = 1,
    OV_CCMD_KEEP_ALIVE = 2,
    OV_CCMD_HANDSHACK_SERVER = 4,
    OV_CCMD_USR_REGISTER = 0x101,
    OV_CCMD_USR_LOGIN = 0x102,
    OV_CCMD_USR_LOGOUT = 0x103,
    OV_CCMD_USR_SEARCH = 0x104,
    OV_CCMD_USR_PASSWORD = 0x105,
    OV_CCMD_USR_STATUS = 0x106,
    OV_CCMD_USR_PUT_INFO = 0x107,
    OV_CCMD_USR_GET_INFO = 0x108,
    OV_CCMD_USR_SEARCH2 = 0x109,
    OV_CCMD_BUDDY_GET_LST = 0x201,
    OV_CCMD_BUDDY_GET_LST2 = 0x202,
    OV_CCMD_BUDDY_DEL = 0x203,
    OV_CCMD_BUDDY_ADD = 0x204,
    OV_CCMD_BUDDY_UPD = 0x205,
    OV_CCMD_BLACKLST_GET = 0x301,
    OV_CCMD_BLACKLST_GET2 = 0x302,
    OV_CCMD_BLACKLST_ADD = 0x303,
    OV_CCMD_BLACKLST_DEL = 0x304,
    OV_CCMD_GRP_USR_REGISTER = 0x401,
    OV_CCMD_GRP_USR_UNREGISTER = 0x402,
    OV_CCMD_GRP_USR_ENTER = 0x403,
    OV_CCMD_GRP_USR_LEAVE = 0x404,
    OV_CCMD_GRP_GET_RUSR_LIST = 0x405,
    OV_CCMD_GRP_GET_OUSR_LIST = 0x406,
    OV_CCMD_GRP_GET_OUSR_CNT = 0x407,
    OV_CCMD_GRP_GET_INFO = 0x408,
    OV_CCMD_GRP_GET_TOP_LST = 0x409,
    OV_CCMD_GRP_GET_OUSR_LIST2 = 0x411,
    OV_CCMD_SENDTO_USR = 0x501,
    OV_CCMD_SENDTO_GRP = 0x502,
    OV_CCMD_REQUEST_PTP = 0x503,
    OV_CCMD_REPLY_BUDDY_AUTH = 0x601,
    OV_CCMD_REPLY_REQUEST_PTP = 0x802,
    OV_CCMD_ONLINE_STAT = 0x901,
};

// Notifications from the server (0x601 and 0x802 also name client commands; the direction
// of the packet tells them apart).
enum OVServerCommandEnum : int32_t {
    OV_SCMD_ADD_BUDDY_REQUEST = 0x601,
    OV_SCMD_ADD_BUDDY_ACCEPT = 0x602,
    OV_SCMD_BUDDY_STATUS = 0x603,
    OV_SCMD_GRP_USR_ENTER = 0x701,
    OV_SCMD_GRP_USR_LEAVE = 0x702,
    OV_SCMD_GRP_OUSR_CNT = 0x706,
    OV_SCMD_USR_STATUS = 0x707,
    OV_SCMD_MESSAGE = 0x801,
    OV_SCMD_PTP_REQUEST = 0x802,
};

enum OVErrorCodeEnum : int32_t {
    OV_ERR_NONE = 0,
    OV_ERR_UNKNOWN = 1,
    OV_ERR_BAD_FIELD = 2,
    OV_ERR_BAD_GRP_PASSWD = 3,
    OV_ERR_BAD_USRNAME = 4,
    OV_ERR_BAD_USR_OR_PASSWD = 5,
    OV_ERR_BUDDY_AUTH = 6,
    OV_ERR_BUDDY_DENY = 7,
    OV_ERR_BUDDY_GRP_NOT_EXIST = 8,
    OV_ERR_GRPT_NOT_EXIST = 9,
    OV_ERR_GRP_NOT_EXIST = 0x10,
    OV_ERR_GRP_TOO_MANY_USRS = 0x11,
    OV_ERR_BANNED = 0x12,
    OV_ERR_NO_MATCH = 0x13,
    OV_ERR_USR_EXIST = 0x14,
    OV_ERR_USR_HIDE_USR_INFO = 0x15,
    OV_ERR_USR_INFO_AUTH = 0x16,
    OV_ERR_USR_NOT_EXIST = 0x17,
    OV_ERR_MSG_DENY = 0x18,
    OV_ERR_VER_NOT_SUPPORT = 0x19,
    OV_ERR_ADD_BUDDY_NOMSG = 0x20,
    OV_ERR_USER_CANCELED = 0x1000,
    OV_ERR_TIME_OUT = 0x1001,
};

enum OVOnlineStatusEnum : int32_t {
    OV_ONLINE_STATUS_OFFLINE = 0,
    OV_ONLINE_STATUS_DND = 1,
    OV_ONLINE_STATUS_AWAY = 2,
    OV_ONLINE_STATUS_INVISIBLE = 4,
    OV_ONLINE_STATUS_ONLINE = 0xFFFF,
    OV_ONLINE_STATUS_AWAY_AUTO = 0x10002,
};

enum OVUserInfoFieldMask : uint32_t {
    OV_UFLD_PIN = 0x1,
    OV_UFLD_USERNAME = 0x2,
    OV_UFLD_PASSWORD = 0x4,
    OV_UFLD_NICKNAME = 0x8,
    OV_UFLD_FIRSTNAME = 0x10,
    OV_UFLD_LASTNAME = 0x20,
    OV_UFLD_EMAIL = 0x40,
    OV_UFLD_LANGUAGE = 0x80,
    OV_UFLD_LOCATION = 0x100,
    OV_UFLD_AGERANGE = 0x200,
    OV_UFLD_SEX = 0x400,
    OV_UFLD_CAREER = 0x800,
    OV_UFLD_ICON = 0x1000,
    OV_UFLD_MODE = 0x2000,
    OV_UFLD_TERMID = 0x4000,
    OV_UFLD_LANGUAGE1 = 0x10000,
    OV_UFLD_LANGUAGE2 = 0x20000,
    OV_UFLD_LANGUAGE3 = 0x40000,
    OV_UFLD_AGE = 0x80000,
    OV_UFLD_EMAIL1 = 0x100000,
    OV_UFLD_EMAIL2 = 0x200000,
    OV_UFLD_PHONE = 0x400000,
    OV_UFLD_MOBILE = 0x800000,
    OV_UFLD_HOMEPAGE = 0x1000000,
    OV_UFLD_ABOUT = 0x2000000,
    OV_UFLD_ONLINE_STATUS = 0x4000000,
};

enum OVUserInfoFieldMask2 : uint32_t { OV_UFLD_DISPLAY_NAME = 1 };

enum OVUserModeMask : uint32_t {
    OV_UMODE_BUDDY_AUTH = 1,
    OV_UMODE_BUDDY_DENY = 2,
    OV_UMODE_RESERVED = 4,
    OV_UMODE_HIDE_USR_INFO = 8,
    OV_UMODE_HIDE_EMAIL = 16,
    OV_UMODE_NO_STRONGER_MSG = 32,
    OV_UMODE_NO_GROUP_USER_MSG = 64,
};

enum OVGroupModeMask : uint32_t {
    OV_GMODE_EXTERNAL_MSG = 1,
    OV_GMODE_MODERATE = 2,
    OV_GMODE_RUSR_MSG = 4,
    OV_GMODE_LIMIT_OUSR = 8,
    OV_GMODE_LIMIT_RUSR = 16,
    OV_GMODE_PRVITE = 32,
    OV_GMODE_PASSWD = 64,
    OV_GMODE_RUSR_ONLY = 128,
    OV_GMODE_INVITE_ONLY = 256,
    OV_GMODE_USR_LST_NOTIFY = 512,
};

enum OVGroupUserModeMask : uint32_t {
    OV_GUMODE_REGISTER = 1,
    OV_GUMODE_VOICE = 2,
    OV_GUMODE_OP = 4,
    OV_GUMODE_COP = 8,
};

// On the wire a group type is 16 bits; 0 there means a single user, not a group.
enum OVGroupTypeEnum : int32_t {
    OV_GT_SITE = 1,
    OV_GT_URL = 2,
    OV_GT_SITE_CHAT = 3,
    OV_GT_CHAT = 4,
};

enum OVGroupListSortEnum : int32_t { OV_GLSORT_ONLINE_USER = 1 };

enum OVMesageTypeMask : uint32_t {
    OV_MSGT_SAVE = 1,
    OV_MSGT_OUSR = 2,
    OV_MSGT_RUSR = 4,
    OV_MSGT_BCAST = 8,
};

enum OVListFlagEnum : int32_t {
    OV_LISTFLAG_ALL = 0,
    OV_LISTFLAG_HEAD = 1,
    OV_LISTFLAG_BODY = 2,
    OV_LISTFLAG_TAIL = 3,
    OV_LISTFLAG_BAD = 0xFFFF,
};

enum OVBuddyAcceptEnum : int32_t { OV_BUDDY_DENY = 0, OV_BUDDY_ACCEPT = 1 };

enum OVBuildInComponentsEnum : int32_t {
    OV_COMPONENT_MESSAGER = 19760112,
    OV_COMPONENT_CHAT = 19730420,
    OV_COMPONENT_FILE = 19770101,
};

enum OVAccessTypeEnum : int32_t { OV_ACCESS_DIRECT = 1, OV_ACCESS_SOCKS5 = 2 };

enum OVProxyAuthMethodEnum : int32_t {
    OV_PROXY_AUTH_NONE = 0,
    OV_PROXY_AUTH_USERNAME_PASSWORD = 2,
};

// From-PIN of system messages, and the component of an add-buddy notice.
constexpr uint32_t OV_SYSTEM_PIN = 1;
constexpr uint32_t OV_COMPONENT_ADD_BUDDY_NOTICE = 0x10000000;
// The client code sent in every login request.
constexpr uint16_t OV_CLIENT_CODE = 3456;
