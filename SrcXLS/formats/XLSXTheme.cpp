#include "SrcXLS/formats/XLSXWriter.h"

namespace xls {

// The theme of a package written from a workbook that has none: the colour
// scheme is the one the library resolves theme colours with.
std::string_view DefaultThemeText() {
    static constexpr std::string_view text =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        "\r\n"
        R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="Office Theme">)"
        R"(<a:themeElements><a:clrScheme name="Office">)"
        R"(<a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1>)"
        R"(<a:lt1><a:sysClr val="window" lastClr="FFFFFF"/></a:lt1>)"
        R"(<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2>)"
        R"(<a:accent1><a:srgbClr val="4F81BD"/></a:accent1><a:accent2><a:srgbClr val="C0504D"/></a:accent2>)"
        R"(<a:accent3><a:srgbClr val="9BBB59"/></a:accent3><a:accent4><a:srgbClr val="8064A2"/></a:accent4>)"
        R"(<a:accent5><a:srgbClr val="4BACC6"/></a:accent5><a:accent6><a:srgbClr val="F79646"/></a:accent6>)"
        R"(<a:hlink><a:srgbClr val="0000FF"/></a:hlink><a:folHlink><a:srgbClr val="800080"/></a:folHlink>)"
        R"(</a:clrScheme><a:fontScheme name="Office">)"
        R"(<a:majorFont><a:latin typeface="Cambria"/><a:ea typeface=""/><a:cs typeface=""/></a:majorFont>)"
        R"(<a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface=""/></a:minorFont>)"
        R"(</a:fontScheme><a:fmtScheme name="Office"><a:fillStyleLst>)"
        R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
        R"(<a:solidFill><a:schemeClr val="phClr"><a:tint val="50000"/></a:schemeClr></a:solidFill>)"
        R"(<a:solidFill><a:schemeClr val="phClr"><a:shade val="80000"/></a:schemeClr></a:solidFill>)"
        R"(</a:fillStyleLst><a:lnStyleLst>)"
        R"(<a:ln w="9525" cap="flat" cmpd="sng" algn="ctr">)"
        R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
        R"(<a:prstDash val="solid"/></a:ln>)"
        R"(<a:ln w="25400" cap="flat" cmpd="sng" algn="ctr">)"
        R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
        R"(<a:prstDash val="solid"/></a:ln>)"
        R"(<a:ln w="38100" cap="flat" cmpd="sng" algn="ctr">)"
        R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
        R"(<a:prstDash val="solid"/></a:ln>)"
        R"(</a:lnStyleLst><a:effectStyleLst>)"
        R"(<a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle>)"
        R"(<a:effectStyle><a:effectLst/></a:effectStyle>)"
        R"(</a:effectStyleLst><a:bgFillStyleLst>)"
        R"(<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>)"
        R"(<a:solidFill><a:schemeClr val="phClr"><a:tint val="95000"/></a:schemeClr></a:solidFill>)"
        R"(<a:solidFill><a:schemeClr val="phClr"><a:shade val="90000"/></a:schemeClr></a:solidFill>)"
        R"(</a:bgFillStyleLst></a:fmtScheme></a:themeElements>)"
        R"(<a:objectDefaults/><a:extraClrSchemeLst/></a:theme>)";
    return text;
}

} // namespace xls
