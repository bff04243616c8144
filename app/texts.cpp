#include "app/texts.h"

namespace vornex::texts {

Text CountCaption(unsigned long n) {
    if (n == 0) return u"被重定向的应用程序 0 个。";
    return u"被重定向的应用程序 " + DecimalText(n) + u" 个，点击文件名查看重定向数据。";
}

Text DetailHeading(const Text& name) {
    return u"下面是 " + name + u" 的重定向情况及处理建议，请谨慎选择操作方式！";
}

Text DetailAdvice(const Text& name, const Text& command) {
    return name + u"被重定向到" + command + u"，如没有安装" + name +
           u"，请点击“手工删除”。如果安装了" + name + u"并确认被劫持，请点击“手工修复”。";
}

}  // namespace vornex::texts
