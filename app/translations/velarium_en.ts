<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>velarium::app::BW_MediaExtensionTip</name>
    <message>
        <location filename="../BW_MediaExtensionTip.cpp"/>
        <source>Open System Settings</source>
        <translation>OK</translation>
    </message>
    <message>
        <location filename="../BW_MediaExtensionTip.cpp"/>
        <source>Reveal in Finder</source>
        <translation>Show in File Manager</translation>
    </message>
    <message>
        <location filename="../BW_MediaExtensionTip.cpp"/>
        <source>Velarium installs two Media Extensions, so that QuickTime Player, Final Cut Pro, Photos, Compressor and Quick Look can open Amiga IFF ANIM files directly.

macOS leaves new media extensions switched off until you approve them. Open System Settings to go straight to the list, or find it later under System Settings &gt; General &gt; Login Items &amp; Extensions &gt; Media Extensions.

Velarium itself opens ANIM files without them.</source>
        <translation>Velarium installs a GStreamer plugin, so that GNOME Videos, file-manager thumbnails and other GStreamer applications can open Amiga IFF ANIM files directly.

There is nothing to switch on: the plugin works as soon as Velarium is installed. An application that was already running sees it once it is started again.

Velarium itself opens ANIM files without it.</translation>
    </message>
    <message>
        <location filename="../BW_MediaExtensionTip.cpp"/>
        <source>Velarium is running from %1. macOS only registers its Media Extensions — the ones that let QuickTime Player, Final Cut Pro, Photos and Quick Look open Amiga IFF ANIM files — when the app lives in an Applications folder.

Move Velarium to your Applications folder and launch it again, then turn the extensions on in System Settings &gt; General &gt; Login Items &amp; Extensions &gt; Media Extensions.

Velarium itself opens ANIM files from anywhere.</source>
        <translation>Velarium is running from %1. Other applications — GNOME Videos, file-manager thumbnails and other GStreamer applications — see its ANIM support only once Velarium is installed.

To install it, install the velarium package with your package manager, for example: sudo apt install ./velarium_*.deb. Those applications then open ANIM files with nothing to switch on.

Velarium itself opens ANIM files from anywhere.</translation>
    </message>
</context>
</TS>
