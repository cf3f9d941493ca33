// The socket component's type library: class OVSocket, the dual interface IOVSocket and the
// event interface IOVSocketEvents, with their identifiers, enumerations and DISPIDs.
// Members report results through their [out, retval] value and events; each returns S_OK.
#pragma once

#include <string_view>

#include "platform/com/com.h"

// {35928A6A-DAAF-46F1-8E83-5818886DBFD6}
constexpr CLSID CLSID_OVSocket = {
    0x35928A6A, 0xDAAF, 0x46F1, {0x8E, 0x83, 0x58, 0x18, 0x88, 0x6D, 0xBF, 0xD6}};
// {578C5E03-B8AE-47A6-A57E-DE2CB416AFEB}
constexpr IID DIID_IOVSocketEvents = {
    0x578C5E03, 0xB8AE, 0x47A6, {0xA5, 0x7E, 0xDE, 0x2C, 0xB4, 0x16, 0xAF, 0xEB}};
// {5A67F7BC-3E3F-4BA4-91B5-2BD8912C0EAB}
constexpr GUID LIBID_OVSockLib = {
    0x5A67F7BC, 0x3E3F, 0x4BA4, {0x91, 0xB5, 0x2B, 0xD8, 0x91, 0x2C, 0x0E, 0xAB}};

enum OVSOCKTypeEnum : int32_t { OVSOCK_TCP = 1, OVSOCK_UDP = 2 };

enum OVSOCKAccessTypeEnum : int32_t { OVSOCK_ACCESS_DIRECT = 1, OVSOCK_ACCESS_SOCKS5 = 2 };

enum OVSOCKProxyAuthMethodEnum : int32_t {
    OVSOCK_AUTH_NONE = 0,
    OVSOCK_AUTH_USERNAME_PASSWORD = 2,
};

// Published for clients; no member reports a state.
enum OVSOCKSocketStateEnum : int32_t {
    OVSOCK_STATE_CLOSED = 0,
    OVSOCK_STATE_OPEN = 1,
    OVSOCK_STATE_LISTENING = 2,
    OVSOCK_STATE_CONNECTION_PENDING = 3,
    OVSOCK_STATE_ROVSOCKLVING_HOST = 4,
    OVSOCK_STATE_CONNECTING = 5,
    OVSOCK_STATE_CONNECTED = 6,
    OVSOCK_STATE_CLOSING = 7,
    OVSOCK_STATE_ACCEPTING_CONNECTION = 8,
    OVSOCK_STATE_ERROR = 9,
};

enum OVSOCKDISPID : int32_t {
    OVSOCK_DISPID_ON_CONNECT_START = 1202,
    OVSOCK_DISPID_ON_CONNECT_FAILED = 1203,
    OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED = 1204,
    OVSOCK_DISPID_ON_CONNECTION_CLOSED = 1205,
    OVSOCK_DISPID_ON_HOST_RESOLVE_START = 1206,
    OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED = 1207,
    OVSOCK_DISPID_ON_HOST_RESOLVED = 1208,
    OVSOCK_DISPID_ON_DATA_AVAILABLE = 1209,
    OVSOCK_DISPID_ON_SEND_PROGRESS = 1211,
    OVSOCK_DISPID_ON_CONNECTION_REQUEST = 1212,
    OVSOCK_DISPID_ON_SEND_ERROR = 1213,
};

// The events of IOVSocketEvents with their argument kinds, in declaration order: 'L' a long
// (VT_I4), 'H' a 16-bit flag 0 / -1 (VT_I2), 'S' a text (VT_BSTR).
using OVSocketEventInfo = DispEventInfo;

inline constexpr OVSocketEventInfo kOVSocketEvents[] = {
    {OVSOCK_DISPID_ON_CONNECT_START, "OnConnectStart", ""},
    {OVSOCK_DISPID_ON_CONNECT_FAILED, "OnConnectFailed", ""},
    {OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, "OnConnectionEstablished", ""},
    {OVSOCK_DISPID_ON_CONNECTION_CLOSED, "OnConnectionClosed", ""},
    {OVSOCK_DISPID_ON_HOST_RESOLVE_START, "OnHostResolveStart", ""},
    {OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED, "OnHostResolveFailed", ""},
    {OVSOCK_DISPID_ON_HOST_RESOLVED, "OnHostResolved", "S"},
    {OVSOCK_DISPID_ON_CONNECTION_REQUEST, "OnConnectionIncoming", ""},
    {OVSOCK_DISPID_ON_DATA_AVAILABLE, "OnDataAvailable", ""},
    {OVSOCK_DISPID_ON_SEND_PROGRESS, "OnSendProgress", "LLLH"},
    {OVSOCK_DISPID_ON_SEND_ERROR, "OnSendError", "L"},
};

// The component's own codes (0-259) and the Winsock error numbers (10004 on), unchanged.
enum OVSOCKErrorCodeEnum : int32_t {
    OVSOCK_ERR_NONE = 0,
    OVSOCK_ERR_SOCKS5_FAIL = 1,
    OVSOCK_ERR_SOCKS5_AUTHORIZE = 2,
    OVSOCK_ERR_SOCKS5_NETUNREACH = 3,
    OVSOCK_ERR_SOCKS5_HOSTUNREACH = 4,
    OVSOCK_ERR_SOCKS5_CONNREF = 5,
    OVSOCK_ERR_SOCKS5_TTLEXP = 6,
    OVSOCK_ERR_SOCKS5_BADCMND = 7,
    OVSOCK_ERR_SOCKS5_BADADDR = 8,
    OVSOCK_ERR_NO_SOCKET = 256,
    OVSOCK_ERR_SOCKET_VERSION = 257,
    OVSOCK_ERR_EVENT = 258,
    OVSOCK_ERR_HAD_BEEN_INITIALIZED = 259,
    OVSOCK_ERR_INTR = 10004,
    OVSOCK_ERR_BADF = 10009,
    OVSOCK_ERR_ACCES = 10013,
    OVSOCK_ERR_FAULT = 10014,
    OVSOCK_ERR_INVAL = 10022,
    OVSOCK_ERR_MFILE = 10024,
    OVSOCK_ERR_WOULDBLOCK = 10035,
    OVSOCK_ERR_INPROGRESS = 10036,
    OVSOCK_ERR_ALREADY = 10037,
    OVSOCK_ERR_NOTSOCK = 10038,
    OVSOCK_ERR_DESTADDRREQ = 10039,
    OVSOCK_ERR_MSGSIZE = 10040,
    OVSOCK_ERR_PROTOTYPE = 10041,
    OVSOCK_ERR_NOPROTOOPT = 10042,
    OVSOCK_ERR_PROTONOSUPPORT = 10043,
    OVSOCK_ERR_SOCKTNOSUPPORT = 10044,
    OVSOCK_ERR_OPNOTSUPP = 10045,
    OVSOCK_ERR_PFNOSUPPORT = 10046,
    OVSOCK_ERR_AFNOSUPPORT = 10047,
    OVSOCK_ERR_ADDRINUSE = 10048,
    OVSOCK_ERR_ADDRNOTAVAIL = 10049,
    OVSOCK_ERR_NETDOWN = 10050,
    OVSOCK_ERR_NETUNREACH = 10051,
    OVSOCK_ERR_NETRESET = 10052,
    OVSOCK_ERR_CONNABORTED = 10053,
    OVSOCK_ERR_CONNRESET = 10054,
    OVSOCK_ERR_NOBUFS = 10055,
    OVSOCK_ERR_ISCONN = 10056,
    OVSOCK_ERR_NOTCONN = 10057,
    OVSOCK_ERR_SHUTDOWN = 10058,
    OVSOCK_ERR_TOOMANYREFS = 10059,
    OVSOCK_ERR_TIMEDOUT = 10060,
    OVSOCK_ERR_CONNREFUSED = 10061,
    OVSOCK_ERR_LOOP = 10062,
    OVSOCK_ERR_NAMETOOLONG = 10063,
    OVSOCK_ERR_HOSTDOWN = 10064,
    OVSOCK_ERR_HOSTUNREACH = 10065,
    OVSOCK_ERR_NOTEMPTY = 10066,
    OVSOCK_ERR_PROCLIM = 10067,
    OVSOCK_ERR_USERS = 10068,
    OVSOCK_ERR_DQUOT = 10069,
    OVSOCK_ERR_STALE = 10070,
    OVSOCK_ERR_REMOTE = 10071,
    OVSOCK_ERR_SYSNOTREADY = 10091,
    OVSOCK_ERR_VERNOTSUPPORTED = 10092,
    OVSOCK_ERR_NOTINITIALISED = 10093,
    OVSOCK_ERR_DISCON = 10101,
    OVSOCK_ERR_NOMORE = 10102,
    OVSOCK_ERR_CANCELLED = 10103,
    OVSOCK_ERR_INVALIDPROCTABLE = 10104,
    OVSOCK_ERR_INVALIDPROVIDER = 10105,
    OVSOCK_ERR_PROVIDERFAILEDINIT = 10106,
    OVSOCK_ERR_SYSCALLFAILURE = 10107,
    OVSOCK_ERR_SERVICE_NOT_FOUND = 10108,
    OVSOCK_ERR_TYPE_NOT_FOUND = 10109,
    OVSOCK_ERR_E_NO_MORE = 10110,
    OVSOCK_ERR_E_CANCELLED = 10111,
    OVSOCK_ERR_REFUSED = 10112,
};

// "OVSocket Interface", dual. Members in slot order after IDispatch's seven.
struct IOVSocket : IDispatch {
    // {BFAD87EC-1E71-43AC-A5FC-DDFC8E236787}
    static constexpr IID kIID = {
        0xBFAD87EC, 0x1E71, 0x43AC, {0xA5, 0xFC, 0xDD, 0xFC, 0x8E, 0x23, 0x67, 0x87}};
    using Base = IDispatch;

    virtual HRESULT Create(OVSOCKTypeEnum eSocketType, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT ReceiveFrom(BSTR* pbstrHostAddress, LONG* pnPort, VARIANT* pvData,
                                VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT Bind(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT get_Writeable(VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT get_Readable(VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT ClearSendQueue() = 0;
    virtual HRESULT get_SendQueuePacketsCount(LONG* pnCount) = 0;
    virtual HRESULT Send(VARIANT Data, LONG* pnPacketID) = 0;
    virtual HRESULT SendString(BSTR bstrString, LONG* pnPacketID) = 0;
    virtual HRESULT SendTo(BSTR bstrHostAddress, LONG nPort, VARIANT Data, LONG* pnPacketID) = 0;
    virtual HRESULT SendStringTo(BSTR bstrHostAddress, LONG nPort, BSTR bstrString,
                                 LONG* pnPacketID) = 0;
    virtual HRESULT ReceiveStringFrom(BSTR* pbstrHostAddress, LONG* pnPort, BSTR* pbstrString,
                                      VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT Receive(VARIANT* pvData, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT ReceiveString(BSTR* pbstrString, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT Connect(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT Listen(LONG nMaxQueueLen, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT ResolveHost(BSTR bstrHost, VARIANT_BOOL* pbResult) = 0;
    virtual HRESULT IsIPAddress(BSTR bstrHostAddress, VARIANT_BOOL* pfYesOrNo) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT Accept(BSTR* pbstrHost, LONG* pnPort, IOVSocket** ppSocket) = 0;
    virtual HRESULT get_LastError(OVSOCKErrorCodeEnum* peError) = 0;
    virtual HRESULT get_LocalHostName(BSTR* pbstrName) = 0;
    virtual HRESULT get_LocalIPString(BSTR* pbstrIP) = 0;
    virtual HRESULT get_LocalIP(LONG* pnIP) = 0;
    virtual HRESULT get_AccessType(OVSOCKAccessTypeEnum* peAccessType) = 0;
    virtual HRESULT SetProxy(OVSOCKAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                             OVSOCKProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                             BSTR bstrProxyPassword) = 0;
    virtual HRESULT get_LocalPort(LONG* pnPort) = 0;
    virtual HRESULT InitializeSocket(OVSOCKErrorCodeEnum* peError) = 0;

protected:
    ~IOVSocket() = default;
};

// DISPIDs of IOVSocket, shared by the object and by callers that invoke by DISPID.
inline const DispatchTable<IOVSocket>& OVSocketDispatch() {
    static const DispatchTable<IOVSocket> table{
        DispMethod(1, "Create", &IOVSocket::Create),
        DispMethod(2, "SendTo", &IOVSocket::SendTo),
        DispMethod(3, "ReceiveFrom", &IOVSocket::ReceiveFrom),
        DispMethod(4, "Bind", &IOVSocket::Bind),
        DispPropGet(5, "Writeable", &IOVSocket::get_Writeable),
        DispPropGet(6, "Readable", &IOVSocket::get_Readable),
        DispMethod(7, "ClearSendQueue", &IOVSocket::ClearSendQueue),
        DispPropGet(8, "SendQueuePacketsCount", &IOVSocket::get_SendQueuePacketsCount),
        DispMethod(9, "Send", &IOVSocket::Send),
        DispMethod(10, "SendString", &IOVSocket::SendString),
        DispMethod(12, "SendStringTo", &IOVSocket::SendStringTo),
        DispMethod(13, "ReceiveStringFrom", &IOVSocket::ReceiveStringFrom),
        DispMethod(14, "Receive", &IOVSocket::Receive),
        DispMethod(15, "ReceiveString", &IOVSocket::ReceiveString),
        DispMethod(16, "Connect", &IOVSocket::Connect),
        DispMethod(17, "Listen", &IOVSocket::Listen),
        DispMethod(18, "ResolveHost", &IOVSocket::ResolveHost),
        DispMethod(19, "IsIPAddress", &IOVSocket::IsIPAddress),
        DispMethod(20, "Close", &IOVSocket::Close),
        DispMethod(21, "Accept", &IOVSocket::Accept),
        DispPropGet(22, "LastError", &IOVSocket::get_LastError),
        DispPropGet(23, "LocalHostName", &IOVSocket::get_LocalHostName),
        DispPropGet(24, "LocalIPString", &IOVSocket::get_LocalIPString),
        DispPropGet(25, "LocalIP", &IOVSocket::get_LocalIP),
        DispPropGet(26, "AccessType", &IOVSocket::get_AccessType),
        DispMethod(27, "SetProxy", &IOVSocket::SetProxy),
        DispPropGet(28, "LocalPort", &IOVSocket::get_LocalPort),
        DispMethod(29, "InitializeSocket", &IOVSocket::InitializeSocket),
    };
    return table;
}
