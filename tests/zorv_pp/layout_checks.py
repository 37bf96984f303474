"""Checks of a drawn figure's layout, for every figure the suite draws: no text over another text or
over data, no raw underscore in a label."""

import re

import numpy as np
from matplotlib.collections import LineCollection

from zorv_pp.figures.common import SMALLEST_TEXT, shown_points


def texts_of(figure):
    """Every visible, non-empty text of a drawn figure: titles, labels, ticks in view, notes and legends."""
    texts = [*figure.texts, *(t for legend in figure.legends for t in legend.get_texts())]
    if figure._suptitle is not None:
        texts.append(figure._suptitle)
    for axis in figure.axes:
        texts += [
            axis.title,
            axis._left_title,
            axis._right_title,
            axis.xaxis.label,
            axis.yaxis.label,
            *axis.texts,
            axis.xaxis.get_offset_text(),
            axis.yaxis.get_offset_text(),
        ]
        texts += [t for legend in [axis.get_legend()] if legend for t in legend.get_texts()]
        for which, ticks, (low, high) in (
            (0, axis.get_xticklabels(), axis.get_xlim()),
            (1, axis.get_yticklabels(), axis.get_ylim()),
        ):
            low, high = sorted((low, high))
            texts += [t for t in ticks if low <= t.get_position()[which] <= high]
    unique = {id(t): t for t in texts}  # the suptitle is among the figure's texts too
    return [t for t in unique.values() if t.get_visible() and t.get_text().strip()]


def raw_underscore(text):
    """An underscore outside mathtext ($...$): a subscript typeset as a plain character."""
    return "_" in re.sub(r"\$[^$]*\$", "", text)


def data_points(figure):
    """Display coordinates of what every axis draws (lines and their markers, error bars), sampled along
    segments and kept inside the axes, where clipping leaves them visible."""
    points = []
    for axis in figure.axes:
        box = axis.get_window_extent()
        paths = [(line.get_path(), line.get_transform()) for line in axis.get_lines()]
        paths += [
            (path, collection.get_transform())
            for collection in axis.collections
            if isinstance(collection, LineCollection)
            for path in collection.get_paths()
        ]
        for path, transform in paths:
            xy = transform.transform(path.vertices)
            if len(xy) > 1:
                steps = np.linspace(0.0, 1.0, 12)[:, None, None]
                xy = (xy[:-1][None] * (1 - steps) + xy[1:][None] * steps).reshape(-1, 2)
            inside = (xy[:, 0] > box.x0) & (xy[:, 0] < box.x1) & (xy[:, 1] > box.y0) & (xy[:, 1] < box.y1)
            points.append(xy[inside & np.isfinite(xy).all(axis=1)])
    return np.concatenate(points) if points else np.zeros((0, 2))


def check_layout(figure):
    """No text overlaps another text or a data artist; no label or title holds a raw underscore."""
    figure.canvas.draw()
    renderer = figure.canvas.get_renderer()
    texts = texts_of(figure)
    boxes = [t.get_window_extent(renderer).expanded(1.0, 1.0) for t in texts]
    for i, first in enumerate(boxes):
        for j in range(i + 1, len(boxes)):
            shrunk = [b.shrunk(0.98, 0.9) if b.width > 2 and b.height > 2 else b for b in (first, boxes[j])]
            assert not shrunk[0].overlaps(shrunk[1]), (texts[i].get_text(), texts[j].get_text())
    points = data_points(figure)
    covering = [(t.get_text(), b) for t, b in zip(texts, boxes)]
    covering += [
        ("legend", legend.get_window_extent(renderer))
        for legend in [*figure.legends, *(a.get_legend() for a in figure.axes if a.get_legend())]
    ]
    for text, box in covering:
        box = box.shrunk(0.96, 0.9)
        hidden = (points[:, 0] > box.x0) & (points[:, 0] < box.x1) & (points[:, 1] > box.y0) & (points[:, 1] < box.y1)
        where = figure._suptitle.get_text() if figure._suptitle is not None else ""
        assert not hidden.any(), f"{text!r} covers data at {points[hidden][:3].tolist()} in {where!r}"
    for axis in figure.axes:
        for label in (
            axis.get_title(),
            axis.get_xlabel(),
            axis.get_ylabel(),
            *(t.get_text() for t in axis.texts),
            *(t.get_text() for t in (axis.get_legend().get_texts() if axis.get_legend() else ())),
        ):
            assert not raw_underscore(label), label
    for legend in figure.legends:
        assert not any(raw_underscore(t.get_text()) for t in legend.get_texts())
    # A table's cells are texts too; every text must read at SMALLEST_TEXT where the report page shows it.
    from matplotlib.table import Table

    texts += [
        cell.get_text()
        for axis in figure.axes
        for t in axis.tables
        if isinstance(t, Table)
        for cell in t.get_celld().values()
    ]
    small = [
        (t.get_text(), t.get_fontsize()) for t in texts if shown_points(figure, t.get_fontsize()) < SMALLEST_TEXT - 1e-9
    ]
    assert not small, (
        f"text below {SMALLEST_TEXT} pt as a page shows a {figure.get_figwidth():.3g} in figure: {small[:4]}"
    )
