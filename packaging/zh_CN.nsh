; The installer's own texts in Simplified Chinese (the rest comes with the
; NSIS language files). Messages may use the installer's variables.

LangString ServerPageTitle ${LANG_SIMPCHINESE} "考试服务器"
LangString ServerPageSubtitle ${LANG_SIMPCHINESE} "设置本机登录时连接的考试服务器。"
LangString ServerPageIntro ${LANG_SIMPCHINESE} "请输入考试服务器的地址和端口。安装程序会把它们写入 Windows 目录下的 config.ini（[Server] 节的 IP 和 Port），客户端每次启动时从那里读取。"
LangString ServerAddressLabel ${LANG_SIMPCHINESE} "服务器地址："
LangString ServerPortLabel ${LANG_SIMPCHINESE} "端口："
LangString ServerHint ${LANG_SIMPCHINESE} "地址可以是 IPv4 地址（例如 192.168.1.10）或主机名；端口为 1 到 65535 之间的整数，默认 19730。"

LangString AddressEmpty ${LANG_SIMPCHINESE} "请填写考试服务器的地址。"
LangString AddressInvalid ${LANG_SIMPCHINESE} "考试服务器的地址“$ServerAddress”无效。$\r$\n请填写 IPv4 地址（例如 192.168.1.10，每段 0 到 255）或主机名（字母、数字、点和连字符）。"
LangString PortInvalid ${LANG_SIMPCHINESE} "端口“$ServerPort”无效。$\r$\n端口必须是 1 到 65535 之间的整数。"
LangString SilentRefused ${LANG_SIMPCHINESE} "服务器设置无效，未安装任何文件。"
LangString NeedAdmin ${LANG_SIMPCHINESE} "安装需要管理员权限：服务器设置要写入 Windows 目录。请以管理员身份运行安装程序。"
LangString UninstallNeedAdmin ${LANG_SIMPCHINESE} "卸载需要管理员权限。请以管理员身份运行。"
LangString ConfigWriteFailed ${LANG_SIMPCHINESE} "无法写入 $WINDIR\config.ini，安装未完成。"
