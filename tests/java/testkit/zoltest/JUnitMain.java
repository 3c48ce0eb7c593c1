package zoltest;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.annotation.Annotation;
import java.lang.reflect.AnnotatedElement;
import java.lang.reflect.Array;
import java.lang.reflect.Constructor;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.Comparator;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Runs the tests of a JUnit 5 class in this JVM, for JUnitChild, without the
 * JUnit platform: under -Xcomp, or emulated, its launcher alone costs a child
 * JVM 15 to 20 seconds. It knows what the suite's JUnitChild classes use:
 * {@code @Test}, {@code @ParameterizedTest} with {@code @ValueSource}
 * (strings, ints, booleans), {@code @AfterEach}, {@code @Order} under
 * {@code @TestMethodOrder(MethodOrderer.OrderAnnotation.class)}, and
 * {@code @Timeout}, scaled by jtreg's -timeoutFactor and checked when the test
 * returns (the time this JVM has ends a test that never does). Tests and
 * {@code @AfterEach} methods of superclasses count as JUnit counts them. Any
 * other JUnit annotation, on the class, a superclass, an interface, their
 * members or member classes, or reached through an annotation of the test's
 * own, is refused before any test runs, and so is a {@code @Timeout} longer
 * than the time this JVM has: nothing is skipped, or limited, in appearance
 * only (exit status 2). Before the first test it prints how many tests it
 * found and their names, after each test its result, and last how many ran
 * and failed; exits 1 if a test failed or none ran.
 *
 * Arguments: the class, then optionally the one method to run.
 */
public final class JUnitMain {
    private JUnitMain() {}

    private static final List<Class<? extends Annotation>> ON_CLASSES = Arrays.asList(Timeout.class, TestMethodOrder.class);
    private static final List<Class<? extends Annotation>> ON_METHODS = Arrays.asList(Test.class, ParameterizedTest.class,
            ValueSource.class, AfterEach.class, Order.class, Timeout.class);

    /** The exit status when the class is refused. */
    static final int REFUSED = 2;

    /** The first line of a run, "N tests found in CLASS:", is followed by the name of each test, indented. */
    static final String FOUND = " tests found in ";
    /** The last line of a run: "N tests run, F failed". */
    static final String RUN = " tests run, ";
    /**
     * A file that gets the lines of the run besides stdout: a native's output that the C library buffers
     * reaches stdout only at exit, after them, so only this file's last line is surely the run's.
     */
    static final String REPORT_PROPERTY = "zoltest.report";

    public static void main(String[] args) throws Exception {
        long deadline = TestEnv.deadline();
        String report = System.getProperty(REPORT_PROPERTY);
        int status;
        try (FileOutputStream file = report == null ? null : new FileOutputStream(report)) {
            PrintStream out = file == null ? System.out : new PrintStream(new OutputStream() {
                @Override
                public void write(int b) throws IOException {
                    System.out.write(b);
                    file.write(b);
                }

                @Override
                public void write(byte[] b, int off, int len) throws IOException {
                    System.out.write(b, off, len);
                    file.write(b, off, len);
                }

                @Override
                public void flush() {
                    System.out.flush();
                }
            }, true, "UTF-8");
            status = run(Class.forName(args[0]), args.length > 1 ? args[1] : null, TestEnv.timeoutFactor(), deadline,
                    out);
        } catch (IllegalArgumentException e) {
            System.err.println(e.getMessage());
            status = REFUSED;
        }
        System.out.flush();
        System.exit(status);
    }

    /**
     * Runs the tests of testClass (only the method named only, if not null) and returns the exit status; the
     * tests' @Timeout values are multiplied by factor, and must end before deadline (epoch milliseconds, 0 for
     * none). Throws IllegalArgumentException, before any test runs, for what it does not implement.
     */
    public static int run(Class<?> testClass, String only, double factor, long deadline, PrintStream out) {
        List<String> refused = new ArrayList<>();
        List<Method> tests = new ArrayList<>();
        List<Method> afterEach = new ArrayList<>();
        collect(testClass, tests, afterEach, refused);
        if (only != null) {
            tests.removeIf(m -> !m.getName().equals(only));
        }
        long left = deadline == 0 ? Long.MAX_VALUE : deadline - System.currentTimeMillis();
        for (Method m : tests) {
            long limit = timeoutMillis(testClass, m, factor);
            if (limit != Long.MAX_VALUE && limit > left) {
                refused.add(name(m) + ": its @Timeout, " + limit / 1000 + " s at -timeoutFactor " + factor
                        + ", is longer than the " + left / 1000 + " s this JVM has: raise the @run timeout");
            }
        }
        if (!refused.isEmpty()) {
            throw new IllegalArgumentException("JUnitMain refuses " + testClass.getName() + ":\n  "
                    + String.join("\n  ", refused));
        }
        // Without @TestMethodOrder the order is unspecified, as with JUnit: by name, to be repeatable.
        Comparator<Method> order = Comparator.comparing(Method::getName);
        if (testClass.isAnnotationPresent(TestMethodOrder.class)) {
            order = Comparator.comparingInt(m -> m.isAnnotationPresent(Order.class)
                    ? m.getAnnotation(Order.class).value() : Integer.MAX_VALUE / 2);  // JUnit's default
        }
        tests.sort(order);
        // Every test by name before any runs, so that JUnitChild can tell which never reported.
        List<Method> methods = new ArrayList<>();
        List<Object[]> invocations = new ArrayList<>();
        List<String> names = new ArrayList<>();
        for (Method m : tests) {
            for (Object[] arguments : arguments(m)) {
                methods.add(m);
                invocations.add(arguments);
                names.add(testClass.getSimpleName() + "::" + m.getName()
                        + (arguments.length == 0 ? "" : Arrays.toString(arguments)));
            }
        }
        out.println(names.size() + FOUND + testClass.getName() + ":");
        for (String name : names) {
            out.println("  " + name);
        }
        out.flush();
        int run = 0;
        int failed = 0;
        for (int i = 0; i < names.size(); i++) {
            Method m = methods.get(i);
            Object[] arguments = invocations.get(i);
            String name = names.get(i);
            run++;
            long start = System.nanoTime();
            Throwable failure = invoke(testClass, m, arguments, afterEach);
            long millis = (System.nanoTime() - start) / 1_000_000;
            long limit = timeoutMillis(testClass, m, factor);
            if (failure == null && millis > limit) {
                failure = new AssertionError(name + " took " + millis + " ms, over its @Timeout of " + limit
                        + " ms at -timeoutFactor " + factor);
            }
            if (failure == null) {
                out.println("SUCCESSFUL " + name + " [" + millis + "ms]");
            } else {
                failed++;
                out.println("FAILED     " + name + " [" + millis + "ms]");
                failure.printStackTrace(out);
            }
            out.flush();
        }
        out.println(run + RUN + failed + " failed");
        return failed == 0 && run > 0 ? 0 : 1;
    }

    /**
     * The tests and @AfterEach methods of testClass and its superclasses, as JUnit finds them: a method that a
     * subclass overrides counts only as the subclass declares it; a superclass's @AfterEach runs after the
     * subclass's. What JUnit would do that this runner does not goes to refused.
     */
    private static void collect(Class<?> testClass, List<Method> tests, List<Method> afterEach, List<String> refused) {
        Set<String> overridden = new HashSet<>();
        for (Class<?> c = testClass; c != Object.class; c = c.getSuperclass()) {
            refuse(c, ON_CLASSES, "class " + c.getName(), refused);
            TestMethodOrder order = c.getDeclaredAnnotation(TestMethodOrder.class);
            if (order != null && order.value() != MethodOrderer.OrderAnnotation.class) {
                refused.add("@TestMethodOrder(" + order.value().getName() + ") on class " + c.getName()
                        + ": only MethodOrderer.OrderAnnotation is implemented");
            }
            for (Class<?> i : c.getInterfaces()) {
                refuseInterface(i, refused);
            }
            for (Class<?> member : c.getDeclaredClasses()) {
                refuse(member, Collections.emptyList(), "member class " + member.getName(), refused);
            }
            for (AnnotatedElement e : c.getDeclaredFields()) {
                refuse(e, Collections.emptyList(), "field " + e, refused);
            }
            for (Constructor<?> k : c.getDeclaredConstructors()) {
                refuse(k, Collections.emptyList(), "constructor " + k, refused);
            }
            Method[] methods = c.getDeclaredMethods();
            Arrays.sort(methods, Comparator.comparing(Method::getName));
            for (Method m : methods) {
                if (m.isSynthetic()) {
                    continue;
                }
                refuse(m, ON_METHODS, name(m), refused);
                boolean test = m.isAnnotationPresent(Test.class) || m.isAnnotationPresent(ParameterizedTest.class);
                boolean after = m.isAnnotationPresent(AfterEach.class);
                int modifiers = m.getModifiers();
                if ((test || after) && (Modifier.isStatic(modifiers) || Modifier.isPrivate(modifiers)
                        || m.getReturnType() != void.class)) {
                    refused.add(name(m) + ": static, private or not void, so JUnit would not run it");
                }
                if (m.isAnnotationPresent(ValueSource.class) && !m.isAnnotationPresent(ParameterizedTest.class)) {
                    refused.add(name(m) + ": @ValueSource without @ParameterizedTest");
                }
                if (!Modifier.isPrivate(modifiers) && !Modifier.isStatic(modifiers)
                        && !overridden.add(m.getName() + Arrays.toString(m.getParameterTypes()))) {
                    continue;
                }
                if (test) {
                    tests.add(m);
                } else if (after) {
                    afterEach.add(m);
                }
            }
        }
    }

    private static String name(Method m) {
        return m.getDeclaringClass().getName() + "." + m.getName() + "()";
    }

    /** Tests and callbacks that interfaces declare are not implemented: any JUnit annotation there is refused. */
    private static void refuseInterface(Class<?> type, List<String> refused) {
        refuse(type, Collections.emptyList(), "interface " + type.getName(), refused);
        for (Method m : type.getDeclaredMethods()) {
            refuse(m, Collections.emptyList(), "interface method " + name(m), refused);
        }
        for (Class<?> i : type.getInterfaces()) {
            refuseInterface(i, refused);
        }
    }

    /**
     * Refuses the JUnit annotations of element that known does not hold, and those that one of its other
     * annotations carries (a composed annotation, which the checks by type here would not see).
     */
    private static void refuse(AnnotatedElement element, List<Class<? extends Annotation>> known, String where,
            List<String> refused) {
        for (Annotation a : element.getDeclaredAnnotations()) {
            Class<? extends Annotation> type = a.annotationType();
            if (isJUnit(type)) {
                if (!known.contains(type)) {
                    refused.add("@" + type.getSimpleName() + " on " + where + ": not implemented");
                }
            } else {
                String composed = junitMeta(type, new HashSet<>());
                if (composed != null) {
                    refused.add("@" + type.getSimpleName() + " on " + where + ": it carries " + composed
                            + ", which is not implemented through another annotation");
                }
            }
        }
        if (element instanceof Method) {
            refuseValueSource(((Method) element).getAnnotation(ValueSource.class), where, refused);
        }
    }

    private static boolean isJUnit(Class<? extends Annotation> type) {
        return type.getName().startsWith("org.junit.");
    }

    /** The first JUnit annotation on type or on the annotations it carries, or null. */
    private static String junitMeta(Class<? extends Annotation> type, Set<Class<?>> seen) {
        if (!seen.add(type) || type.getName().startsWith("java.lang.annotation.")) {
            return null;
        }
        for (Annotation a : type.getDeclaredAnnotations()) {
            String found = isJUnit(a.annotationType()) ? "@" + a.annotationType().getSimpleName()
                    : junitMeta(a.annotationType(), seen);
            if (found != null) {
                return found;
            }
        }
        return null;
    }

    /** Of @ValueSource, only strings, ints and booleans are implemented. */
    private static void refuseValueSource(ValueSource values, String where, List<String> refused) {
        if (values == null) {
            return;
        }
        for (Method member : ValueSource.class.getDeclaredMethods()) {
            if (!Arrays.asList("strings", "ints", "booleans").contains(member.getName())) {
                try {
                    if (Array.getLength(member.invoke(values)) > 0) {
                        refused.add("@ValueSource(" + member.getName() + ") on " + where + ": not implemented");
                    }
                } catch (ReflectiveOperationException e) {
                    throw new IllegalStateException(e);
                }
            }
        }
    }

    private static List<Object[]> arguments(Method m) {
        List<Object[]> all = new ArrayList<>();
        ValueSource values = m.getAnnotation(ValueSource.class);
        if (!m.isAnnotationPresent(ParameterizedTest.class)) {
            all.add(new Object[0]);
        } else if (values != null) {
            Arrays.stream(values.strings()).forEach(v -> all.add(new Object[] {v}));
            Arrays.stream(values.ints()).forEach(v -> all.add(new Object[] {v}));
            for (boolean v : values.booleans()) {
                all.add(new Object[] {v});
            }
        }
        if (all.isEmpty()) {
            throw new IllegalArgumentException("JUnitMain knows no arguments for " + m);
        }
        return all;
    }

    /** A fresh instance per test, as JUnit makes; the @AfterEach methods run whatever the test did. */
    private static Throwable invoke(Class<?> testClass, Method m, Object[] arguments, List<Method> afterEach) {
        Throwable failure = null;
        Object instance = null;
        try {
            Constructor<?> constructor = testClass.getDeclaredConstructor();
            constructor.setAccessible(true);
            instance = constructor.newInstance();
            m.setAccessible(true);
            m.invoke(instance, arguments);
        } catch (InvocationTargetException e) {
            failure = e.getCause();
        } catch (ReflectiveOperationException e) {
            failure = e;
        }
        if (instance != null) {
            for (Method after : afterEach) {
                try {
                    after.setAccessible(true);
                    after.invoke(instance);
                } catch (InvocationTargetException e) {
                    failure = failure == null ? e.getCause() : failure;
                } catch (ReflectiveOperationException e) {
                    failure = failure == null ? e : failure;
                }
            }
        }
        return failure;
    }

    /** The test's @Timeout, else its class's or a superclass's, times factor; no @Timeout: no limit. */
    private static long timeoutMillis(Class<?> testClass, Method m, double factor) {
        Timeout t = m.getAnnotation(Timeout.class);
        for (Class<?> c = testClass; t == null && c != Object.class; c = c.getSuperclass()) {
            t = c.getDeclaredAnnotation(Timeout.class);
        }
        return t == null ? Long.MAX_VALUE : (long) Math.ceil(t.unit().toMillis(t.value()) * factor);
    }
}
