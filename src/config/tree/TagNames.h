// Tag names, asset keys and message keys the program passes to config trees,
// made once as interned strings. Because the string cache interns every
// text, each constant is the very node that a file read with the same name
// yields, so lookups with them compare identities.
//
// Each set is made on its first use and lives until the process ends, so a
// static initialiser or destructor of any unit may use it.
#pragma once

#include "nyx/base/PString.h"

// The lists give each constant's identifier and its text, in the order the
// set creates them.

#define KESTRO_ASSET_TEMPLATE_TAGS(X) \
    X(semicolon, ";") \
    X(exclamation, "!") \
    X(quote, "\"") \
    X(dot, ".") \
    X(dotDot, "..") \
    X(dotDotDot, "...") \
    X(dotPm, ".pm") \
    X(zero, "0") \
    X(zeroPointZero, "0.0") \
    X(one, "1") \
    X(zeroZero, "00") \
    X(zx, "ZX") \
    X(era1800s, "1800s") \
    X(add, "Add") \
    X(alias, "alias") \
    X(anim, "anim") \
    X(animKin, "anim.kin") \
    X(animation, "animation") \
    X(animationLoopSpeed, "animation-loop-speed") \
    X(assetFilename, "asset-filename") \
    X(array, "array") \
    X(arrayElement, "array-element") \
    X(attachment, "attachment") \
    X(attachedTrack, "attached-track") \
    X(att, "att") \
    X(attParent, "att-parent") \
    X(author, "author") \
    X(autoAnimation, "auto-animation") \
    X(autoCreate, "auto-create") \
    X(check, "check") \
    X(behavior, "behavior") \
    X(bool_, "bool") \
    X(bogey, "bogey") \
    X(bogeyR, "bogey-r") \
    X(bogeys, "bogeys") \
    X(bridge, "bridge") \
    X(dotCache, ".cache") \
    X(camera, "camera") \
    X(cameradefault, "cameradefault") \
    X(cameralist, "cameralist") \
    X(castsShadows, "casts_shadows") \
    X(category, "category") \
    X(categoryEra, "category-era") \
    X(categoryRegion, "category-region") \
    X(categoryClass, "category-class") \
    X(chunkyTrack, "chunky-track") \
    X(chunkyMesh, "chunky_mesh") \
    X(collateMeshes, "collate-meshes") \
    X(combobox, "combobox") \
    X(intcombobox, "intcombobox") \
    X(cmp, "CMP") \
    X(compulsory, "compulsory") \
    X(contactEmail, "contact-email") \
    X(contactWebsite, "contact-website") \
    X(containerType0, "container-type0") \
    X(quillholdExe, "bin\\Quillhold.exe") \
    X(classlibrary, "classlibrary") \
    X(class_, "class") \
    X(datatype, "datatype") \
    X(default_, "default") \
    X(defaultAmount, "default-amount") \
    X(defaultName, "default-name") \
    X(description, "description") \
    X(underscoreDir, "__dir") \
    X(disabled, "disabled") \
    X(displayname, "displayname") \
    X(doublestring, "doublestring") \
    X(doubleTrack, "double-track") \
    X(drivercharacter, "drivercharacter") \
    X(extensions, "extensions") \
    X(extensionsElement, "extensions-element") \
    X(underscoreFilename, "__filename") \
    X(float_, "float") \
    X(floatlist, "floatlist") \
    X(fontsize, "fontsize") \
    X(from, "from") \
    X(groundtexture, "groundtexture") \
    X(groundbrush, "groundbrush") \
    X(gs, "gs") \
    X(effect, "effect") \
    X(effects, "effects") \
    X(effectAttachment, "effect-attachment") \
    X(effectCorona, "effect-corona") \
    X(element, "element") \
    X(elementType, "element-type") \
    X(empty, "") \
    X(email, "email") \
    X(filepath, "filepath") \
    X(filepathedit, "filepathedit") \
    X(fontcolor, "fontcolor") \
    X(filter, "filter") \
    X(height, "height") \
    X(hidden, "hidden") \
    X(hornsound, "hornsound") \
    X(cabinMuffle, "cabin_muffle") \
    X(html, "html") \
    X(icon, "icon") \
    X(iconTexture, "icon-texture") \
    X(image, "image") \
    X(imagelist, "imagelist") \
    X(initialCount, "initial-count") \
    X(inherit, "inherit") \
    X(int_, "int") \
    X(interior, "interior") \
    X(internalname, "internalname") \
    X(istrack, "istrack") \
    X(isbanneron, "isbanneron") \
    X(isinputboxon, "isinputboxon") \
    X(kind, "kind") \
    X(kuid, "kuid") \
    X(kuidbrowser, "kuidbrowser") \
    X(kestroBuild, "kestro-build") \
    X(license, "license") \
    X(lights, "lights") \
    X(listbox, "listbox") \
    X(map, "map") \
    X(menuToken, "menu-token") \
    X(mesh, "mesh") \
    X(light, "light") \
    X(meshes, "meshes") \
    X(meshElement, "mesh-element") \
    X(meshReducingTrack, "mesh-reducing-track") \
    X(obsoleteTrack, "obsolete-track") \
    X(meshTable, "mesh-table") \
    X(min, "min") \
    X(max, "max") \
    X(size, "size") \
    X(mini, "mini") \
    X(mocrossing, "mocrossing") \
    X(mojunction, "mojunction") \
    X(mosignal, "mosignal") \
    X(mospeedboard, "mospeedboard") \
    X(mode0, "mode0") \
    X(mode1, "mode1") \
    X(name, "name") \
    X(night, "night") \
    X(nightMeshBase, "night-mesh-base") \
    X(noerror, "noerror") \
    X(numarray, "numarray") \
    X(obsoleteTable, "obsolete-table") \
    X(obsoleteTag, "obsolete-tag") \
    X(obsoleteVersion, "obsolete-version") \
    X(organisation, "organisation") \
    X(parent, "parent") \
    X(passengerEntry, "passenger-entry") \
    X(pantograph, "pantograph") \
    X(queues, "queues") \
    X(region, "region") \
    X(rem, "rem") \
    X(remove, "remove") \
    X(reversed, "reversed") \
    X(rgb, "rgb") \
    X(road, "road") \
    X(rotationPermitted, "rotation-permitted") \
    X(runningNumbers, "running-numbers") \
    X(meshAsset, "mesh-asset") \
    X(savingname, "savingname") \
    X(loomwickDebugExe, "bin\\Loomwick_d.exe") \
    X(scenery, "scenery") \
    X(buildable, "buildable") \
    X(sceneryTrackside, "scenery-trackside") \
    X(script, "script") \
    X(scriptlibrary, "scriptlibrary") \
    X(sideplayPermitted, "sideplay-permitted") \
    X(shadow, "shadow") \
    X(smoke, "smoke") \
    X(snapmode, "snapmode") \
    X(snapgrid, "snapgrid") \
    X(sound, "sound") \
    X(soundscript, "soundscript") \
    X(source, "source") \
    X(specificname, "specificname") \
    X(string, "string") \
    X(stringkuid, "stringkuid") \
    X(stringkuidbrowser, "stringkuidbrowser") \
    X(stringTable, "string-table") \
    X(subpossibilities, "subpossibilities") \
    X(tagarray, "tagarray") \
    X(thumbnail, "thumbnail") \
    X(thumbnails, "thumbnails") \
    X(topLevel, "top-level") \
    X(track, "track") \
    X(spline, "spline") \
    X(trackside, "trackside") \
    X(traincar, "traincar") \
    X(tunnel, "tunnel") \
    X(turntable, "turntable") \
    X(type, "type") \
    X(tooltip, "tooltip") \
    X(unknown, "unknown") \
    X(unique, "unique") \
    X(unitMesh, "unit_mesh") \
    X(useadjoiningtracktype, "useadjoiningtracktype") \
    X(username, "username") \
    X(validation, "validation") \
    X(value, "value") \
    X(vector2, "vector2") \
    X(vector3, "vector3") \
    X(vector4, "vector4") \
    X(vector5, "vector5") \
    X(vertices, "vertices") \
    X(width, "width") \
    X(website, "website") \
    X(texture, "texture") \
    X(qa1, "qa1")

#define KESTRO_PACKAGE_KEYS(X) \
    X(username, "username") \
    X(description, "description") \
    X(license, "license") \
    X(thumbnail, "thumbnail") \
    X(author, "author") \
    X(organisation, "organisation") \
    X(contactEmail, "contact-email") \
    X(contactWebsite, "contact-website") \
    X(assets, "assets") \
    X(archive, "archive") \
    X(packageVersion, "package-version") \
    X(contentsTable, "contents-table") \
    X(files, "files") \
    X(compression, "compression") \
    X(alias, "alias") \
    X(bridgetrack, "bridgetrack") \
    X(bogey, "bogey") \
    X(bogey1, "bogey-1") \
    X(bogey1R, "bogey-1-r") \
    X(enginesound, "enginesound") \
    X(enginespec, "enginespec") \
    X(interior, "interior") \
    X(lzss, "LZSS") \
    X(dsid, "dsid") \
    X(folderIcon, "folder-icon") \
    X(previewMeshKuid, "preview-mesh-kuid") \
    X(mapKuid, "map-kuid") \
    X(productCategory, "product-category") \
    X(kuidTable, "kuid-table") \
    X(custom, "Custom") \
    X(script, "script") \
    X(class_, "class") \
    X(scriptlibrary, "scriptlibrary") \
    X(scriptclass, "scriptclass") \
    X(thumbnails, "thumbnails") \
    X(width, "width") \
    X(height, "height") \
    X(image, "image") \
    X(meshTable, "mesh-table")

#define KESTRO_ASSET_LIST_KEYS(X) \
    X(username, "username") \
    X(description, "description") \
    X(kind, "kind") \
    X(kuid, "kuid") \
    X(kuidTable, "kuid-table") \
    X(empty, "") \
    X(obsoleteTable, "obsolete-table") \
    X(name, "name") \
    X(stringTable, "string-table") \
    X(categoryRegion, "category-region") \
    X(assetFilename, "asset-filename") \
    X(kestroBuild, "kestro-build") \
    X(data, "data") \
    X(mainLanguage, "$main_language") \
    X(miscNoname, "$misc_noname") \
    X(miscCustom, "$misc_custom") \
    X(miscDefault, "$misc_default") \
    X(mainDescriptionLanguage, "$main_description_language") \
    X(nwmpNameDefault, "$nwmp_name_default") \
    X(nwmpProfileDefault, "$nwmp_profile_default") \
    X(mainDefunctNameLanguage, "$main_defunct_name_language") \
    X(mainStringtableLanguage, "$main_stringtable_language")

#define KESTRO_EDITING_KEYS(X) \
    X(editing, "editing") \
    X(base, "base")

#define KESTRO_PACKAGE_LISTING_KEYS(X) \
    X(alias, "alias") \
    X(categoryEra, "category-era") \
    X(categoryClass, "category-class")

#define KESTRO_DECLARE_TAG_NAME(id, text) Nyx::PString id;

// Tag names, values and keys of the asset config templates.
struct AssetTemplateTagNames {
    KESTRO_ASSET_TEMPLATE_TAGS(KESTRO_DECLARE_TAG_NAME)
};

// Keys of content packages and of the asset-information record.
struct PackageKeyNames {
    KESTRO_PACKAGE_KEYS(KESTRO_DECLARE_TAG_NAME)
};

// Keys of asset configs and interface-text keys used when assets are listed,
// created and printed.
struct AssetListKeyNames {
    KESTRO_ASSET_LIST_KEYS(KESTRO_DECLARE_TAG_NAME)
};

// Keys of an asset config opened for editing.
struct EditingKeyNames {
    KESTRO_EDITING_KEYS(KESTRO_DECLARE_TAG_NAME)
};

// Keys the package listing reads from each asset's config.
struct PackageListingKeyNames {
    KESTRO_PACKAGE_LISTING_KEYS(KESTRO_DECLARE_TAG_NAME)
};

#undef KESTRO_DECLARE_TAG_NAME

const AssetTemplateTagNames& AssetTemplateTags();
const PackageKeyNames& PackageKeys();
const AssetListKeyNames& AssetListKeys();
const EditingKeyNames& EditingKeys();
const PackageListingKeyNames& PackageListingKeys();
