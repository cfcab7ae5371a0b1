#include "tools/skin_art/skin_picture.h"

QList<SkinPicture> skinCatalogue() {
    QList<SkinPicture> all;
    for (const auto& folder :
         {rootPictures, mainPictures, cameraPictures, effectPictures, videoPictures,
          videoPlayPictures, picPictures, recordPictures, livePictures}) {
        all += folder();
    }
    return all;
}
