# Shared by the art/*.art.sh scripts (each sources it): fonts and the output form.
#   ART_FONT      a plain Latin face (DejaVu Sans)
#   ART_FONT_BOLD its bold face
#   ART_FONT_CJK  a face with Traditional and Simplified Chinese (WenQuanYi Micro Hei)
#   art_bmp24 IN OUT   writes IN as an uncompressed 24-bit bottom-up BMP (the skin
#                      library reads only that form)
ART_FONT=${ART_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}
ART_FONT_BOLD=${ART_FONT_BOLD:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}
ART_FONT_CJK=${ART_FONT_CJK:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
art_bmp24() { convert "$1" -alpha off -type TrueColor -define bmp:format=bmp3 "BMP3:$2"; }
