<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>velarium::ExtractionDialogs</name>
    <message>
        <location filename="../ExtractionDialogs.cpp"/>
        <source>Show in Finder</source>
        <translation>Show in File Manager</translation>
    </message>
</context>
</TS>
