#!/bin/sh
# Writes the sample project "用户手册.zlp" for this machine: project files store absolute
# paths, so the links must point at samples/manual/docs where this checkout lies.
# Usage: scripts/sample.sh [OUTPUT-FOLDER]   (default: build/sample)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out="${1:-$root/build/sample}"
mkdir -p "$out"
esc() { printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/"/\&quot;/g'; }
d=$(esc "$root/samples/manual/docs")
item() { printf '<Item Caption="%s" FullDir="%s"' "$1" "$2"; }
{
  printf '<用户手册><WorkCatalog>%s</WorkCatalog><Items>' "$d"
  item "入门" "$d/intro.doc"; printf '>'
    item "安装步骤" "$d/install.docx"; printf '/>'
    item "常见问题" "$d/faq.txt"; printf '/>'
  printf '</Item>'
  item "参考资料" ""; printf '>'
    item "价格表" "$d/prices.xls"; printf '/>'
    item "产品演示" "$d/overview.ppt"; printf '/>'
    item "附录" ""; printf '>'
      item "联系我们" "$d/contact.htm"; printf '/>'
    printf '</Item>'
  printf '</Item>'
  printf '</Items></用户手册>'
} > "$out/用户手册.zlp"
echo "$out/用户手册.zlp"
