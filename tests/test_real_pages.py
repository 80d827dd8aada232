"""Steps on the public test pages of two peer tools: does a step find what a person means?

Each page under ../shared/realpages is opened and read once; every case then
resolves its step against that one reading without acting, and the element
chosen must be the one a CSS selector names (compared in the page, by
identity). Each case says which markup, or which peer test, makes that
element the one meant.
"""

import pathlib

import pytest

from marrowlane_web._agent.engine import Engine

REAL = pathlib.Path(__file__).resolve().parent.parent.parent / "shared" / "realpages"
H, T = "helium/", "taiko/unit/"
GUI, ARIA, HTML = H + "test_gui_elements.html", H + "test_aria.html", "taiko/functional/HTMLElements.html"
NONE = None  # the step must find no element

pytestmark = pytest.mark.skipif(not REAL.is_dir(), reason="the real pages are not beside the checkout")

# (page, step, selector of the element meant, why)
ELEMENT_CASES = [
    # 1. labels of every labelable control, and of editable regions
    (GUI, 'type x into "Required Text Field"', "#requiredTextField", "label for, with a '*' span"),
    (GUI, 'type x into "Labelled Text Field"', "#labelledTextField", "label for across dt/dd"),
    (GUI, 'click "CheckBox enclosed by label"', "#checkBoxEnclosedByLabel", "wrapping label"),
    (HTML, 'type x into "Username"', "#username", "label for"),
    (HTML, 'select Saab from "Cars"', "#select", "label for a select"),
    (HTML, 'click "Vehicle"', "#bike", "label for a checkbox"),
    (HTML, 'click "Male"', "#male", "label for a radio; exact beats 'Female'"),
    (HTML, 'click "Female"', "#female", "label for a radio"),
    (HTML, 'click "Other"', "#other", "label for a radio"),
    (HTML, 'click "File"', "#file", "label for a file input"),
    (HTML, 'click "Age"', "#age-range", "label for a range input"),
    (T + "DropDown.html", 'select Volvo from "Cars"', "#select", "dropDown('Cars'): label for"),
    (T + "DropDown.html", 'select Pizza from "Foods"', "#foods", "label for a listbox"),
    (T + "DropDown.html", 'select Shirt from "Attire"', "#attire", "label for a listbox"),
    (T + "DropDown.html", 'select India from "Country"', "#country", "label for a listbox"),
    (T + "DropDown.html", 'select Volvo1 from "dropDownWithWrappedInLabel"', "label > select",
     "wrapping label of a select"),
    (T + "DropDown.html", 'select Tea from "Two"', "#select-two", "label for; 'Two' is exact"),
    (T + "DropDown.html", 'select Volvo from "Hidden Cars"', "#hiddenselect", "label for a hidden select"),
    (T + "textBoxtext.html", 'type x into "With Wrapped Label"', "div[name=withWrappedLabel] input",
     "textBox('With Wrapped Label')"),
    (T + "textBoxtext.html", 'type x into "With Label For"', "#inputType-textWithLabelFor",
     "textBox('With Label For')"),
    (T + "textBox-textarea.html", 'type x into "textAreaWithWrappedLabel"',
     "div[name=textAreaWithWrappedLabel] textarea", "wrapping label of a textarea"),
    (T + "textBox-textarea.html", 'type x into "textAreaWithLabelFor"', "#textAreaWithLabelFor",
     "label for a textarea"),
    (T + "textBox-textarea.html", 'type x into "sampleTextArea"', "#sampleTextArea",
     "label for a filled textarea"),
    (T + "textBox-contentEditable.html", 'type x into "contentEditableWithWrappedLabel"',
     "#contentEditableWithWrappedLabel", "wrapping label of an editable div"),
    (T + "textBox-contentEditable.html", 'type x into "contentEditableWithLabelFor"',
     "#contentEditableWithLabelFor", "label for an editable div"),
    (T + "checkbox.html", 'click "checkboxWithWrappedInLabel"', "label > input[type=checkbox]",
     "checkBox('checkboxWithWrappedInLabel')"),
    (T + "checkbox.html", 'click "checkboxWithLabelFor"', "#checkboxWithLabelFor",
     "checkBox('checkboxWithLabelFor')"),
    (T + "radioButton.html", 'click "radioButtonWithWrappedLabel"',
     "input[value=radioButtonWithWrappedLabel]", "radioButton('radioButtonWithWrappedLabel')"),
    (T + "radioButton.html", 'click "radioButtonWithLabelFor"', "#radioButtonWithLabelFor",
     "label for; exact beats the upper-case variant"),
    (T + "radioButton.html", 'click "radioButtonWithLabelForAndUpperCaseTypeAttribute"',
     "#radioButtonWithLabelForAndUpperCaseTypeAttribute", "label for, type=RADIO"),
    (T + "radioButton.html", 'click "radioButtonWithWrappedLabelAndUpperCaseTypeAttribute"',
     "input[value=radioButtonWithWrappedLabelAndUpperCaseTypeAttribute]", "wrapping label"),
    (T + "button.html", 'click "LabelForButton"', "#inputButton", "button('LabelForButton')"),
    (T + "button.html", 'click "LabelForReset"', "#inputReset", "label for a reset"),
    (T + "button.html", 'click "LabelForSubmit"', "#inputSubmit", "label for a submit"),
    (T + "button.html", 'click "LabelForImage"', "#inputImage", "label for an image input"),
    (T + "button.html", 'click "SubmitInLabel"', "div[name='button in label'] label:nth-of-type(3) input",
     "wrapping label of a submit; exact beats 'SubmitInLabelDisabled'"),
    (T + "button.html", 'click "ResetInLabel"', "div[name='button in label'] label:nth-of-type(2) input",
     "wrapping label of a reset"),
    (T + "write.html", 'type x into "Labelled input"', "#labelled", "label for, colon dropped"),
    # 2. accessible names
    (ARIA, 'click "Close"', "button[aria-label=Close]", "aria-label beats the text 'X'"),
    (ARIA, 'verify "Disabled Close" is disabled', "button[aria-label='Disabled Close']",
     "aria-label, aria-disabled"),
    (ARIA, 'click "Attach files"', "div[aria-label='Attach files']", "role=button with aria-label"),
    (ARIA, 'verify "Disabled Attach files" is disabled', "div[aria-label='Disabled Attach files']",
     "aria-disabled on a role=button"),
    (ARIA, 'click "Submit"', "input[type=submit]", "an empty submit named by aria-label"),
    (ARIA, 'type x into "Textbox"', "div[role=textbox]", "aria-labelledby names a role=textbox"),
    (GUI, 'click "Link with title"', "a[title='Link with title']", "a link holding only an image"),
    (GUI, 'click "Dolphin"', "#imageId", "Image('Dolphin'): alt"),
    (GUI, 'click the Dolphin image', "#imageId", "a kind word after the name ('tab', 'image', 'option')"),
    (T + "image.html", 'click the image "avatar"', "img[alt=avatar]:not(#hiddenImage)", "... or before it"),
    (T + "listItem.html", 'click the list item "Tea"', "ul > li:nth-child(2)", "'list item' before the name"),
    ("taiko/functional/rightClick.html", 'click the text "Someelement"', "body > div:first-child",
     "'text' before the name"),
    ("taiko/functional/doubleClick.html", 'click the paragraph "Double-click this paragraph"', "p[ondblclick]",
     "'paragraph' before the name"),
    (GUI, 'click "Submit Button"', "#submitButtonId", "input value; exact beats '... with title'"),
    (GUI, 'click "Submit Button with title"', "input[title=submitButtonTitle]", "input value"),
    (GUI, 'click "submitButtonTitle"', "input[title=submitButtonTitle]", "title"),
    (GUI, 'click "Input Button"', "input[value='Input Button']", "input button value"),
    (GUI, 'click "DIV with role=button"', "div[role=button]", "role=button text"),
    (GUI, 'click "Span with role=link"', "span[role=link]", "role=link text"),
    (GUI, 'click "Button tag without type"', "form button:not([type])", "button text"),
    (GUI, 'click "Enabled Button"', "form tr:nth-child(9) > td:nth-child(3) > button",
     "Button('Enabled Button')"),
    (GUI, 'verify "Disabled Button" is disabled', "button[disabled]", "Button('Disabled Button')"),
    (GUI, 'click "heliumhq.com"', "a[href='http://heliumhq.com/']", "Link('heliumhq.com')"),
    (GUI, 'click "Link with empty href"', "a[href='']", "Link('Link with empty href')"),
    (T + "button.html", 'click "Input Submit"', "div[name='inline button text'] input[type=submit]",
     "button('Input Submit'): value"),
    (T + "button.html", 'click "Input Reset"', "div[name='inline button text'] input[type=reset]",
     "button('Input Reset'): value"),
    (T + "button.html", 'click "InputButtonInLabel"',
     "div[name='button in label'] label:nth-of-type(1) input", "wrapping label of an input button"),
    (T + "button.html", 'click "spanButton"', "button:has(> span)", "text of a child span"),
    (T + "button.html", 'click "strongButton"', "button:has(> strong)", "text of a child strong"),
    (T + "button.html", 'click "childElementButton"', "button:has(> div)", "text of a child div"),
    (T + "button.html", 'click "normalButton"', "input[value=normalButton]", "input button value"),
    (T + "button.html", 'verify "HiddenButton" is present', "button[style*=none]",
     "a hidden button is present"),
    (T + "image.html", 'click "avatar"', "img[alt=avatar]:not(#hiddenImage)",
     "image('avatar'): visible beats hidden"),
    (T + "image.html", 'click "similarImage2"', "img[alt=similarImage2]", "alt"),
    (T + "link.html", 'click "here"', "#redirect", "link('here')"),
    (T + "link.html", 'click "similarLink3"', "a[href=link3]", "link text"),
    (T + "link.html", 'verify "HiddenLink" is present', "#hiddenLinkID", "hidden link is present"),
    (HTML, 'click "Click Me Also!"', "input[value='Click Me Also!']", "input button value"),
    (HTML, 'click "Smith"', "a[href='#smith']", "link text; the first in page order"),
    # 3. text beside the field
    (GUI, 'type x into "Empty Text Field"', "form tr:nth-child(1) > td:nth-child(2) > input",
     "TextField('Empty Text Field'): previous cell"),
    (GUI, 'type x into "Another Text Field"', "form tr:nth-child(1) > td:nth-child(4) > input",
     "previous cell in the same row"),
    (GUI, 'type x into "Example Text Field"', "#exampleTextFieldId", "previous cell"),
    (GUI, 'type x into "Disabled Text Field"', "form tr:nth-child(3) input[type=text]", "previous cell"),
    (GUI, 'type x into "ReadOnly Text Field"', "form tr:nth-child(4) > td:nth-child(2) > input",
     "previous cell"),
    (GUI, 'type x into "Język polski"', "form tr:nth-child(5) > td:nth-child(2) > input", "previous cell"),
    (GUI, 'type x into "Deutsch"', "form tr:nth-child(6) > td:nth-child(2) > input",
     "previous cell; the option Deutsch names no field"),
    (GUI, 'select Option Two from "Drop Down List"', "#dropDownListId", "previous cell of a select"),
    (GUI, 'type x into "Editable ComboBox"', "input[list=numbers]", "previous cell of a datalist input"),
    (GUI, 'click "CheckBox"', "#checkBoxId", "previous cell 'CheckBox', exact"),
    (GUI, 'type x into "Input type=Text"', "form tr:nth-child(12) > td:nth-child(4) > input",
     "previous cell with a <b> inside"),
    (GUI, 'type x into "Input type=tel"', "#inputTypeTel", "previous cell"),
    (GUI, 'type x into "Input type=date"', "#inputTypeDate", "previous cell"),
    (GUI, 'type x into "Input type=time"', "#inputTypeTime", "previous cell"),
    (GUI, 'type x into "contenteditable Paragraph"', "#contenteditableParagraphId",
     "previous cell of an editable paragraph"),
    (GUI, 'click "LHS CheckBox"', "form tr:nth-child(3) > td:nth-child(3) > input", "text after"),
    (GUI, 'click "Right Labeled CheckBox"', "form tr:nth-child(9) > td:nth-child(1) > input",
     "text just after"),
    (GUI, 'click "Left Labeled CheckBox"', "form tr:nth-child(9) > td:nth-child(2) > input",
     "text just left on the same line"),
    (GUI, 'click "Ticked CheckBox"', "form tr:nth-child(10) input[checked]", "text after"),
    (GUI, 'verify "Disabled CheckBox" is disabled', "form tr:nth-child(10) input[disabled]",
     "text after a disabled checkbox"),
    (GUI, 'click "RadioButton 1"', "#radioButton1id", "text after; exact beats 'Left Labeled ...'"),
    (GUI, 'click "RadioButton 2"', "form tr:nth-child(12) > td:nth-child(1) > input", "text after"),
    (GUI, 'click "Left Labeled RadioButton 1"', "form tr:nth-child(11) > td:nth-child(2) > input",
     "text after"),
    (GUI, 'click "Left Labeled RadioButton 2"', "form tr:nth-child(12) > td:nth-child(2) > input",
     "text after"),
    (GUI, 'type x into "Text field labelled by free text"', "input[value='TF labelled by free text']",
     "bare text above, across a line break"),
    (GUI, 'click "unchecked"', "div.example input[type=checkbox]:not([checked])", "text after"),
    (GUI, 'click "checked"', "div.example input[type=checkbox][checked]",
     "exact 'checked' beats 'unchecked'"),
    (GUI, 'click "male"', "input[value=male]", "exact 'male' beats 'female'"),
    (GUI, 'click "female"', "input[value=female]", "text after"),
    (GUI, 'type x into "Placeholder Text Field"', "input[type=text][placeholder='Placeholder Text Field']",
     "placeholder, exact beats the longer one"),
    (GUI, 'type x into "Placeholder Text Field without type"', "input[placeholder$='without type']",
     "placeholder"),
    (H + "test_write.html", 'type x into "Normal text field"', "#normal", "previous cell"),
    (H + "test_write.html", 'type x into "Autofocus text field"', "#autofocus", "previous cell"),
    (H + "test_leaked_password.html", 'type x into "Password"', "#password", "previous cell"),
    (H + "test_leaked_password.html", 'type x into "Username"', "#username", "previous cell"),
    (HTML, 'type x into "First name"', "input[name=fname]", "text just left on the same line"),
    (HTML, 'type x into "Last name"', "input[name=lname]", "text left, after a line break"),
    (HTML, 'type x into "Birthday"', "input[name=bday]", "text left of a date input"),
    (HTML, 'type x into "User password"', "input[name=psw]", "text left of a password input"),
    (HTML, 'click "Select a file"', "input[name=myFile]", "text left of a file input"),
    (HTML, 'click "X"', "input[value=X]", "text after a radio"),
    (HTML, 'click "Y"', "input[value=Y]", "text after, not the 'X' before it"),
    (HTML, 'click "Z"', "input[value=Z]", "text after"),
    (HTML, 'click "I have a Bus"', "input[value=Bus]", "text after a checkbox"),
    (HTML, 'click "I have an Aeroplane"', "input[value=Aeroplane]", "text after a checkbox"),
    (T + "DropDown.html", 'select Reason1 from "Reason"', "select[name=reasonselection]",
     "text above: the div before"),
    (T + "DropDown.html", 'select Good from "Feedback"', "select[name=feedbackselection]",
     "text above: the div before"),
    (T + "textBoxtext.html", 'type x into "With Inline Text"', "div[name=withInlineText] input",
     "textBox('With Inline Text'): text after, the first one"),
    (T + "checkbox.html", 'click "checkboxWithInlineLabel"', "#checkboxWithInlineLabel", "text after"),
    (T + "checkbox.html", 'click "someCheckBox"', "#someCheckBox", "text after"),
    (T + "checkbox.html", 'verify "hiddenCheckbox" is present', "#hiddenCheckbox",
     "text after a hidden checkbox"),
    (T + "radioButton.html", 'click "radioButtonWithInlineLabel"', "#radioButtonWithInlineLabel",
     "text after; exact beats the upper-case variant"),
    (T + "radioButton.html", 'click "someRadioButton"', "#someRadioButton", "text after"),
    (T + "textMatch.html", 'type x into "User name"', "input[name=uname]", "text left of a field"),
    (T + "write.html", 'type x into "focused input"', "#focused", "text after a field"),
    # 5. the action decides the kind
    (GUI, 'type x into "Language"', "form tr:nth-child(4) > td:nth-child(4) > input",
     "type takes the text field labelled Language"),
    (GUI, 'select Polski from "Language"', "form tr:nth-child(5) select",
     "select takes the select labelled Language"),
    (GUI, 'type x into "Submit Button"', NONE, "a submit button takes no typing"),
    (GUI, 'type x into "Input Button"', NONE, "an input button takes no typing"),
    (GUI, 'select Value 1 from "Enabled Button"', NONE, "a button is no list"),
    (T + "button.html", 'type x into "Input Submit"', NONE, "a submit takes no typing"),
    (HTML, 'type x into "Vehicle"', NONE, "a checkbox takes no typing"),
    (HTML, 'type x into "File"', NONE, "a file input takes no typing"),
    # 6. clickables that are not native controls
    (T + "Click.html", 'click "Click on text node"', "#something", "onclick on a span"),
    (T + "Click.html", 'click "Click with proximity and options object"',
     "span[onclick*='options object']", "onclick on a span, exact"),
    (T + "Click.html", 'click "Text accross elements"', "div[onclick*=accross]",
     "onclick on a div whose text crosses a span"),
    (T + "Click.html", 'click "Show Message"', "span[onclick*='auto scroll']", "onclick on a span"),
    (T + "Click.html", 'click "Click with proximity"', "span[onclick*='proximity selector.']",
     "the one with a handler beats plain spans of the same text"),
    (GUI, 'click "ListItem 1"', "#listItem1Id", "plain text an item, when nothing else is named so"),
    # 8. exact beats partial
    (T + "button.html", 'click "Click"', "div[name='inline button text'] button.test", "exact 'Click'"),
    (T + "button.html", 'verify "ClickDisabled" is disabled', "button[disabled]", "exact"),
    (T + "button.html", 'click "Input Button"', "div[name='inline button text'] input[value='Input Button']",
     "exact beats 'Input Button disabled'"),
    (T + "button.html", 'verify "Input Button disabled" is disabled', "input[value='Input Button disabled']",
     "exact"),
    (T + "textMatch.html", 'click "create account"', "a[href='github.com']",
     "exact: the link, the first control of that name"),
    (T + "textMatch.html", 'click "create account in GitHub"', "button:nth-of-type(2)", "exact"),
    (T + "textMatch.html", 'click "create account now"', "a:nth-of-type(2)", "exact"),
    (HTML, 'click "Alert"', "button[onclick*=\"'Message 1'\"]", "exact 'Alert' beats 'Alert1'"),
    (HTML, 'click "Alert1"', "button[onclick*=\"'Message 2'\"]", "exact"),
    (HTML, 'click "Click Me!"', "button[type=button]", "exact beats 'Click Me Also!'"),
    # 7. hyphens and underscores read as blanks on both sides
    (GUI, 'click "Left-Labeled CheckBox"', "form tr:nth-child(9) > td:nth-child(2) > input",
     "a hyphen in the step"),
    (T + "button.html", 'click "similar_Button_2"', NONE, "no button is named so"),
    (H + "test_point.html", 'click "Button 3"', "tr:nth-child(2) > td:nth-child(1) > button", "text"),
    # 8. an anchor written as a person reads a label, without its colon; a kind named as a text field
    (GUI, 'type x into the field right of "Empty Text Field"', "form tr:nth-child(1) > td:nth-child(2) > input",
     "the cell says 'Empty Text Field:'"),
    (GUI, 'click the button right of "Row 1"', "td[colspan] tr > td:nth-child(2) > button", "'Row 1:'"),
    (GUI, 'type x into the text field right of "Another Text Field"',
     "form tr:nth-child(1) > td:nth-child(4) > input", "'text field' is a field, not the words 'text'"),
    (GUI, 'type x into the text box right of Deutsch', "form > table > tbody > tr:nth-child(6) > td:nth-child(2) > input",
     "'text box', and an unquoted anchor"),
    # 9. a kind the spatial reading does not tell from other fields, and typing wants a field
    (HTML, 'click the checkbox left of "I have a Bus"', "input[value=Bus]", "bare text beside it"),
    (GUI, 'click the checkbox left of "LHS CheckBox"', "form tr:nth-child(3) > td:nth-child(3) > input",
     "the words share its cell"),
    (T + "checkbox.html", 'click the checkbox left of "checkboxWithLabelFor"', "#checkboxWithLabelFor",
     "beside its label, not beside itself (it carries the words too)"),
    (HTML, "click the radio left of Y", "input[value=Y]", "beside the bare text, not its own value"),
    (T + "radioButton.html", "click the 3rd radio", "form > input:nth-child(2)",
     "counted among radios (a shadow root's comes first)"),
    (HTML, "type x into the 5th field", "textarea", "a file input, radios and checkboxes are not counted"),
    (HTML, "type x into the first text area", "textarea", "counted among text areas, not all fields"),
    (HTML, "type x into the textarea", "textarea", "the one text area on the page"),
    (HTML, "select Audi from the dropdown", "select", "the one dropdown list on the page"),
    (HTML, "click the last button", "button[onclick*='Message 2']", "the last of the buttons in reading order"),
    (HTML, "type x into Last name", "input[name=lname]", "a name that starts with 'last' stays a name"),
    (H + "test_write.html", 'type x into the field right of "Input type=time"', "#inputTypeTime",
     "the anchor holds the word 'input', which leaves 'field' as words no field carries"),
    (T + "Click.html", 'click "Click with proximity" below "Proximity marker"',
     "span[onclick*='proximity selector.']", "no element there: the text that carries the words"),
    (T + "proximitySelector.html", 'click "TargetNear" near "LabelNear"', "#target-near",
     "'near' inside a name is no relation"),
    (T + "textMatch.html", 'type x into the field right of "User name"', "input[name=uname]",
     "beside the text 'User name:', not beside a field whose value is 'user name'"),
    (T + "image.html", 'click the image right of "avatar"', "img[alt=similarImage2]",
     "an image: a kind by its tag, an anchor by its alt text"),
    (T + "image.html", 'click "similarImage2" right of "similarImage1"', "img[alt=similarImage2]",
     "an image carries the words of its alt text"),
    (T + "image.html", "click the 2nd image", "img[alt=similarImage1]", "counted among images"),
    (T + "textBox-textarea.html", 'extract text from "textAreaWithWrappedLabel"',
     "div[name=textAreaWithWrappedLabel] textarea", "a field's label names the field: its value is the text"),
    (T + "DropDown.html", 'extract text from "Cars"', "#select", "a list's label names the list"),
    (GUI, 'type x into the field below "Drop Down List"', "input[list=numbers]",
     "the label reads with its list as one row: the field below that row"),
    (HTML, 'type x into the field below "First name"', "input[name=lname]",
     "the label and its field are one row; 'Last name:' and its field are the next"),
    (T + "write.html", 'type x into the field below "focused input"', "#text", "a text after its field, the same"),
    (T + "textBox-contentEditable.html", 'type x into the field below "contentEditableWithLabelFor"',
     "#contentEditableWithLabelFor", "an empty editable region is a field by place too"),
    # 10. a closed dropdown list by the option it shows
    (GUI, 'select "Value 1" from "Select a value..."', "select:not([id]):has(> option:nth-child(2):last-child)",
     "no label, only its first option"),
]

# (page, step, verified, why)
TEXT_CASES = [
    (H + "test_text_impl.html", 'verify text below "A paragraph inside a div" is Another paragraph', True,
     "an anchor with an article of its own"),
    (H + "test_tables.html", 'verify text below "the T1H2" is T1R1C2', True, "an article the step adds is cut"),
    (T + "tableCell.html", 'verify text below "EP" is ICT', True, "a wider cell below: its middle is not in EP's width"),
    (GUI, 'verify text below "Radio buttons" is male', True, "bare text below a heading"),
    (T + "textMatch.html", 'verify text "Hidden text" is present', True, "display:none text is present"),
    (T + "textMatch.html", 'verify text "Hidden text" is visible', False, "... but not visible"),
    (T + "textMatch.html", 'verify text "Parent element has display none" is present', True,
     "inside a hidden parent"),
    (T + "textMatch.html", 'verify text "Element it self has display none" is visible', False, "hidden"),
    (T + "textMatch.html", 'verify text "Visible content" is visible', True, "plain paragraph"),
    (T + "textMatch.html", 'verify text "click me" is present', True, "an input button's value"),
    (T + "textMatch.html", 'verify text "Submit" is present', True, "a submit's default label"),
    (T + "textMatch.html", 'verify text "Text Across Element" is visible', True, "across a span"),
    (T + "textMatch.html", 'verify text "Test text with nbsp space" is visible', True, "&nbsp; is a blank"),
    (T + "textMatch.html", 'verify text "User name:" is visible', True, "bare text beside an input"),
    (T + "textMatch.html", 'verify text "Enter name for taiko demo" is present', True, "a field's value"),
    (T + "textMatch.html", 'verify text "+1 234 567" is visible', True, "digits and blanks"),
    (T + "textMatch.html", 'verify text "Sign up for GitHub" is visible', True, "an unclosed span"),
    (T + "textMatch.html", 'verify text "nowhere on the page" is present', False, "absent"),
    (T + "textMatch-whitespace.html", 'verify text "text with whitespaces" is visible', True,
     "a run of blanks is one blank"),
    (T + "textMatch-whitespace.html", 'verify text "Leading whitespaces text" is visible', True, "trimmed"),
    (T + "textBoxtext.html", 'verify text "text input type entered" is present', True, "a filled field"),
    (T + "listItem.html", 'verify text "taiko-hidden" is present', True, "a hidden list item"),
    (T + "listItem.html", 'verify text "taiko-hidden" is visible', False, "display:none"),
    (GUI, 'verify text left of "Dolphin" is Span with role=link', True, "an image anchors by its alt text"),
    (GUI, 'verify text "Free text not surrounded by tags" is visible', True, "bare text in body"),
    (GUI, 'verify text "Text with leading" is visible', True, "&nbsp; in front"),
    (GUI, 'verify text "Lorem ipsum" is present', True, "a filled field's value"),
    (GUI, 'verify text "EUR/USD" is visible', True, "a floated paragraph"),
    (H + "test_text_impl.html", 'verify text "A paragraph inside a div" is visible', True, "paragraph"),
    (H + "test_tables.html", 'verify text "nowhere" is present', False, "absent"),
]


@pytest.fixture(scope="module")
def read_pages(browser):
    """page name -> (Engine, elements, texts): each page opened and read once."""
    context = browser.new_context()
    pages = {}

    def read(name):
        if name not in pages:
            page = context.new_page()
            page.goto((REAL / name).as_uri())
            engine = Engine(page)
            pages[name] = (engine, *engine.read())
        return pages[name]

    yield read
    context.close()


_SAME_ELEMENT = """([path, css]) => {
  const chosen = path ? document.evaluate(path, document, null,
      XPathResult.FIRST_ORDERED_NODE_TYPE, null).singleNodeValue : null;
  return [chosen === document.querySelector(css), !!document.querySelector(css)];
}"""


@pytest.mark.parametrize("name, step, selector, why", ELEMENT_CASES,
                         ids=[f"{c[0].split('/')[-1]}:{c[1]}" for c in ELEMENT_CASES])
def test_a_step_finds_the_element_a_person_means(read_pages, name, step, selector, why):
    engine, elements, texts = read_pages(name)
    found = engine.find(engine.parse(step), step, elements, texts)
    if selector is NONE:
        assert found.element is None, f"{step} ({why}) found {found.element}"
        return
    assert found.element is not None, f"{step}: nothing found ({why})"
    path = found.element.get("xpath")
    same, exists = engine.scanner.page.evaluate(_SAME_ELEMENT, [path, selector])
    assert exists, f"the selector {selector!r} matches nothing"
    assert same, f"{step} ({why}) chose {path} by {found.rule!r}: {found.element.get('text')!r}"
    assert found.rule


@pytest.mark.parametrize("name, step, verified, why", TEXT_CASES,
                         ids=[f"{c[0].split('/')[-1]}:{c[1]}" for c in TEXT_CASES])
def test_text_checks_read_what_a_person_sees(read_pages, name, step, verified, why):
    engine, elements, texts = read_pages(name)
    result = engine.resolve_text(engine.parse(step), elements, texts)
    assert bool(result.get("verified")) is verified, why


# Markup that names badly: each must read without error and find what its names allow.
BAD_NAMING = [
    ("<input id=a><input id=b>", 'type x into "Name"', None),  # no label anywhere
    ("<label><input id=a></label>", 'type x into "Email"', None),  # a label with only its control
    # labelled by itself: no name, and matching by text reads its value
    ("<input id=a aria-labelledby=a value=Own>", 'type x into "Own"', "#a"),
    ("<span id=p aria-labelledby=q>Post</span><span id=q aria-labelledby=p>code</span>"
     "<br><input id=a aria-labelledby='p q'>", 'type x into "Post code"', "#a"),  # a cycle
    # a disclosure's summary is clicked like a button, though nothing names it one
    ("<details><summary>More info</summary><p>Hidden</p></details>", 'click "More info"', "summary"),
    ("<label for=missing>Ghost</label> <input id=a>", 'type x into "Ghost"', "#a"),  # no such id
    ("<button id=a aria-labelledby='none nil'>Go</button>", 'click "Go"', "#a"),
]


@pytest.mark.parametrize("html, step, selector", BAD_NAMING)
def test_bad_naming_reads_cleanly(page, html, step, selector):
    page.set_content(html)
    engine = Engine(page)
    elements, texts = engine.read()
    found = engine.find(engine.parse(step), step, elements, texts)
    if selector is None:
        assert found.element is None
    else:
        assert page.evaluate(_SAME_ELEMENT, [found.element["xpath"], selector])[0]


# Element steps whose name no element carries: the page's text answers
# (present when hidden too, visible only when a person can see it).
ELEMENT_CHECKS = [
    (T + "proximitySelector.html", 'verify "HiddenText" is present', True, "a display:none span"),
    (T + "proximitySelector.html", 'verify "HiddenText" is visible', False, "... is not visible"),
    ("taiko/functional/hovers.html", 'verify "name: user1" is present', True, "a caption shown on hover"),
    (T + "tableCell.html", 'verify "Table Caption" is visible', True, "a table's caption"),
    ("taiko/functional/sample.html", 'verify "Sample Html File" is visible', True, "bare text in body"),
    ("taiko/functional/sample.html", 'verify "Sample Html" button is present', False, "a kind: an element"),
    ("taiko/functional/sample.html", 'extract text "Sample Html File"', True, "bare text is extracted too"),
]


@pytest.mark.parametrize("name, step, holds, why", ELEMENT_CHECKS,
                         ids=[f"{c[0].split('/')[-1]}:{c[1]}" for c in ELEMENT_CHECKS])
def test_element_checks_fall_back_on_the_page_text(page, name, step, holds, why):
    from marrowlane_web import WebAgent

    page.goto((REAL / name).as_uri())
    agent = WebAgent(page=page, timeout=0.2)
    if holds:
        agent.run(step)
    else:
        with pytest.raises(AssertionError):
            agent.run(step)


# Double and right clicks: found as a click, pressed as the step says; a hover
# written as a person says it.
GESTURES = [
    ("taiko/functional/doubleClick.html", 'double click "Double-click this paragraph"', "Hello World"),
    ("taiko/functional/doubleClick.html", 'doubleclick "Double-click this paragraph"', "Hello World"),
    ("taiko/functional/rightClick.html", 'right click "Someelement"', "Share On Facebook"),
    ("taiko/functional/rightClick.html", 'right-click "Someelement"', "Share On Facebook"),
    ("taiko/functional/hovers.html", 'hover over "User Avatar"', "name: user1"),
]


@pytest.mark.parametrize("name, step, shown", GESTURES)
def test_double_and_right_clicks_press_what_a_click_finds(page, name, step, shown):
    from marrowlane_web import WebAgent

    page.goto((REAL / name).as_uri())
    agent = WebAgent(page=page, timeout=2)
    with pytest.raises(AssertionError):  # nothing shows it before
        agent.run(f'verify text "{shown}" is visible')
    agent.run(step)
    agent.run(f'verify text "{shown}" is visible')
