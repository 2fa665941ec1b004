"""A package's depiction, the page a package manager shows before installing it, in two forms with
the same content: a native depiction (JSON, the format Sileo reads from SileoDepiction:) and a
plain HTML page (Depiction:, for Zebra, Cydia and browsers)."""

import html
import json
import os
import re
import string

# The pane's own darker blue: the banner's gradient ends in it.
TINT = "#49648A"
NATIVE_DEPICTION_VERSION = "0.4"
HERE = os.path.dirname(os.path.abspath(__file__))
# Where every event was checked, said after the iOS versions the package allows. No device was used.
CHECKED = ("every event checked in the simulator on iOS 15, 16, 17 and 18; SpringBoard's calls there are "
           "modelled on public runtime headers and decompiled SpringBoard, not tried on a device")


class Listing:
    """What a depiction shows about one version of a package."""

    def __init__(self, fields, cpus, screenshots, changelog, homepage):
        self.package = fields["Package"]
        self.name = fields.get("Name", self.package)
        self.version = fields["Version"]
        self.author = person(fields.get("Author", fields["Maintainer"]))
        self.contact = email(fields["Maintainer"])
        self.section = fields.get("Section", "")
        summary, _, details = fields["Description"].partition("\n")
        self.summary = summary.strip()
        self.description = paragraphs(details)
        self.ios = ios_versions(fields.get("Depends", "")) + "; " + CHECKED
        self.cpus = cpus
        self.size = size(fields.get("Installed-Size", ""))
        self.screenshots = screenshots
        self.changelog = changelog
        self.homepage = homepage

    def information(self):
        """(title, text) rows of the information table."""
        rows = [("Version", self.version), ("Compatibility", self.ios), ("CPUs", self.cpus),
                ("Developer", self.author)]
        if self.size:
            rows.append(("Size", self.size))
        rows += [("Section", self.section), ("Identifier", self.package)]
        return [(title, text) for title, text in rows if text]


def person(field):
    """The name in a "Name <address>" field."""
    return re.sub(r"\s*<[^>]*>\s*$", "", field).strip()


def email(field):
    found = re.search(r"<([^>]+@[^>]+)>", field)
    return found.group(1) if found else ""


def paragraphs(extended):
    """The extended description of a control field as Markdown: its continuation lines joined
    into paragraphs, " ." lines separating them."""
    blocks, current = [], []
    for line in extended.splitlines():
        line = line[1:] if line.startswith(" ") else line
        if line.strip() == ".":
            blocks.append(" ".join(current))
            current = []
        elif line.strip():
            current.append(line.strip())
    blocks.append(" ".join(current))
    return "\n\n".join(block for block in blocks if block)


def ios_versions(depends):
    """The iOS versions a Depends field's firmware relations allow, in words."""
    lowest = re.search(r"firmware \(>= *([0-9.]+)\)", depends)
    below = re.search(r"firmware \(<< *([0-9.]+)\)", depends)
    if lowest and below:
        return f"iOS {lowest.group(1)} up to (not including) {below.group(1)}"
    if lowest:
        return f"iOS {lowest.group(1)} and later"
    return "any iOS version (the package names none)"


def size(installed_kib):
    if not installed_kib.isdigit():
        return ""
    kib = int(installed_kib)
    return f"{kib / 1024:.1f} MB" if kib >= 1024 else f"{kib} KB"


def cpus(slices):
    """The CPUs a package's binaries serve, in words, from their slices ("arm64", "arm64e")."""
    if "arm64" in slices and "arm64e" in slices:
        return "arm64 and arm64e: every iPhone that runs iOS 15 or later"
    if slices == ["arm64"]:
        return "arm64 only: A11 and older iPhones (iPhone X and earlier); A12 and later need the arm64e build"
    if slices == ["arm64e"]:
        return "arm64e only: A12 and later iPhones (iPhone XS and later)"
    return ", ".join(slices)


def plain_markdown(text):
    """`text` as Markdown that Sileo shows as the text it is: outside `code` spans, the characters that
    would start raw HTML, an autolink or a link (<, [, ], and \\ itself) are escaped, so a changelog's
    "<script>" or "[x](javascript:...)" is shown, never run or linked. Paragraphs, "- " lists and code
    spans keep their form."""
    parts = re.split(r"(`[^`]+`)", text)
    return "".join(part if i % 2 else re.sub(r"([\\<\[\]])", r"\\\1", part) for i, part in enumerate(parts))


def native(listing, base):
    """The native depiction (a dict for JSON) of `listing`, its pictures under the URL `base`."""
    details = [{"class": "DepictionMarkdownView", "markdown": plain_markdown(listing.description)}]
    if listing.screenshots:
        width = 160
        tallest = max(shot.height / shot.width for shot in listing.screenshots)
        details.append({
            "class": "DepictionScreenshotsView",
            "itemCornerRadius": 8,
            "itemSize": "{%d, %d}" % (width, round(width * tallest)),
            "screenshots": [{"url": base + shot.file, "accessibilityText": shot.caption}
                            for shot in listing.screenshots],
        })
    details += [{"class": "DepictionSeparatorView"},
                {"class": "DepictionHeaderView", "title": "Information"}]
    details += [{"class": "DepictionTableTextView", "title": title, "text": text}
                for title, text in listing.information()]
    if listing.homepage:
        details.append({"class": "DepictionTableButtonView", "title": "Homepage", "action": listing.homepage})
    if listing.contact:
        details.append({"class": "DepictionTableButtonView", "title": "Contact the developer",
                        "action": "mailto:" + listing.contact})

    changes = []
    for entry in listing.changelog:
        if changes:
            changes.append({"class": "DepictionSeparatorView"})
        title = entry.version + (f" ({entry.date})" if entry.date else "")
        changes += [{"class": "DepictionSubheaderView", "title": title, "useBoldText": True},
                    {"class": "DepictionMarkdownView", "markdown": plain_markdown(entry.notes)}]

    return {
        "class": "DepictionTabView",
        "minVersion": NATIVE_DEPICTION_VERSION,
        "headerImage": base + "banner.png",
        "tintColor": TINT,
        "tabs": [
            {"class": "DepictionStackView", "tabname": "Details", "views": details},
            {"class": "DepictionStackView", "tabname": "Changelog", "views": changes},
        ],
    }


def markdown_html(text):
    """HTML for the Markdown subset of descriptions and changelogs: paragraphs, "- " lists (an item
    going on on indented lines) and `code`."""
    def inline(words):
        return re.sub(r"`([^`]+)`", r"<code>\1</code>", html.escape(words))

    out = []
    for block in re.split(r"\n\s*\n", text.strip()):
        lines = block.splitlines()
        if lines and lines[0].startswith("- "):
            items = []
            for line in lines:
                if line.startswith("- "):
                    items.append(line[2:].strip())
                else:
                    items[-1] += " " + line.strip()
            out.append("<ul>" + "".join(f"<li>{inline(item)}</li>" for item in items) + "</ul>")
        elif lines:
            out.append(f"<p>{inline(' '.join(line.strip() for line in lines))}</p>")
    return "\n".join(out)


def page(listing):
    """The HTML depiction of `listing`; its pictures are beside it (relative URLs), so the page
    works wherever the repository is served."""
    esc = html.escape
    shown = 360  # every screenshot this many CSS pixels tall, side by side
    shots = "\n".join(
        f'<figure><img src="{esc(shot.file)}" width="{round(shot.width * shown / shot.height)}" height="{shown}" '
        f'alt="{esc(shot.caption)}"><figcaption>{esc(shot.phone)}</figcaption></figure>'
        for shot in listing.screenshots)
    rows = "\n".join(f"<tr><th>{esc(title)}</th><td>{esc(text)}</td></tr>" for title, text in listing.information())
    links = []
    if listing.homepage:
        links.append(f'<a href="{esc(listing.homepage)}">Homepage</a>')
    if listing.contact:
        links.append(f'<a href="mailto:{esc(listing.contact)}">Contact the developer</a>')
    changes = "\n".join(
        f'<h3>{esc(entry.version)}{" <span>" + esc(entry.date) + "</span>" if entry.date else ""}</h3>\n'
        + markdown_html(entry.notes)
        for entry in listing.changelog)
    with open(os.path.join(HERE, "depiction.html"), encoding="utf-8") as source:
        template = string.Template(source.read())
    return template.substitute(
        tint=TINT, name=esc(listing.name), summary=esc(listing.summary), author=esc(listing.author),
        description=markdown_html(listing.description), screenshots=shots, information=rows,
        links=" · ".join(links), changelog=changes)


def write(folder, listing, base):
    """Writes depiction.json and index.html into `folder` (where banner.png, icon.png and the
    screenshots already are); `base` is the folder's URL."""
    with open(os.path.join(folder, "depiction.json"), "w", encoding="utf-8") as out:
        json.dump(native(listing, base), out, indent=2, ensure_ascii=False)
        out.write("\n")
    with open(os.path.join(folder, "index.html"), "w", encoding="utf-8") as out:
        out.write(page(listing))
